// A thin layer over libpq: one connection, statements with text parameters, results that free
// themselves. Nothing here throws; every failure comes back with libpq's message.
#pragma once
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct pg_conn;
struct pg_result;

namespace tw::store {

// One statement's result. Rows and columns are indexed from 0; values are text.
class CPgResult {
 public:
  CPgResult() = default;
  explicit CPgResult(pg_result* r);
  bool Ok() const { return ok_; }
  // libpq's message, or ours when there was no result at all.
  const std::string& Error() const { return error_; }
  // SQLSTATE of a failed statement ("23505" unique violation ...), empty when none.
  const std::string& State() const { return state_; }
  int Rows() const;
  std::string Get(int row, int col) const;
  bool IsNull(int row, int col) const;
  long long GetInt(int row, int col, long long def = 0) const;

 private:
  std::shared_ptr<pg_result> res_;
  bool ok_ = false;
  std::string error_;
  std::string state_;
  friend class CPgConnection;
};

class CPgConnection {
 public:
  CPgConnection() = default;
  ~CPgConnection();
  CPgConnection(const CPgConnection&) = delete;
  CPgConnection& operator=(const CPgConnection&) = delete;

  // Connects with a libpq connection string or URI. Refuses a string that carries a password:
  // credentials come from the password and service files only. False with error.
  bool Open(const std::string& conninfo, std::string& error);
  void Close();
  bool IsOpen() const { return conn_ != nullptr; }
  // The connection is open and the server still answers on it.
  bool Healthy() const;
  // Closes and connects again with the same string.
  bool Reopen(std::string& error);

  // One statement; parameters are text, std::nullopt is SQL NULL.
  CPgResult Exec(const std::string& sql, const std::vector<std::optional<std::string>>& params = {});
  // Several statements without parameters (schema scripts); the last result.
  CPgResult ExecScript(const std::string& sql);
  // Several statements in one round trip; every statement's result in order. After a failing
  // statement the server runs none of the rest: the last result is the failure.
  std::vector<CPgResult> ExecBatch(const std::string& sql);
  // text as an SQL string literal, quoted for this connection's encoding.
  std::string Literal(const std::string& text) const;

  // The connection target without secrets, for captions and records: "db on host".
  std::string Describe() const;
  const std::string& ConnInfo() const { return conninfo_; }

 private:
  pg_conn* conn_ = nullptr;
  std::string conninfo_;
};

// Checks a connection string without connecting: it must parse, and it must not carry a password
// (a "password" keyword or a password in the URI). False with the reason.
bool CheckConnInfo(const std::string& conninfo, std::string& error);

}  // namespace tw::store
