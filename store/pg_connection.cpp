#include "store/pg_connection.h"

#include <libpq-fe.h>

#include <cstdlib>

namespace tw::store {

CPgResult::CPgResult(pg_result* r) : res_(r, PQclear) {
  if (!r) {
    error_ = "no result from the server";
    return;
  }
  const ExecStatusType st = PQresultStatus(r);
  ok_ = st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK;
  if (!ok_) {
    error_ = PQresultErrorMessage(r);
    while (!error_.empty() && (error_.back() == '\n' || error_.back() == ' ')) error_.pop_back();
    if (const char* s = PQresultErrorField(r, PG_DIAG_SQLSTATE)) state_ = s;
  }
}

int CPgResult::Rows() const { return ok_ ? PQntuples(res_.get()) : 0; }

std::string CPgResult::Get(int row, int col) const {
  if (row < 0 || row >= Rows() || col < 0 || col >= PQnfields(res_.get())) return {};
  return std::string(PQgetvalue(res_.get(), row, col),
                     static_cast<size_t>(PQgetlength(res_.get(), row, col)));
}

bool CPgResult::IsNull(int row, int col) const {
  if (row < 0 || row >= Rows() || col < 0 || col >= PQnfields(res_.get())) return true;
  return PQgetisnull(res_.get(), row, col) != 0;
}

long long CPgResult::GetInt(int row, int col, long long def) const {
  if (IsNull(row, col)) return def;
  const std::string s = Get(row, col);
  char* end = nullptr;
  const long long v = std::strtoll(s.c_str(), &end, 10);
  return end && *end == '\0' && !s.empty() ? v : def;
}

bool CheckConnInfo(const std::string& conninfo, std::string& error) {
  char* err = nullptr;
  PQconninfoOption* opts = PQconninfoParse(conninfo.c_str(), &err);
  if (!opts) {
    error = "invalid connection string";
    if (err) {
      error += ": ";
      error += err;
      while (!error.empty() && error.back() == '\n') error.pop_back();
      PQfreemem(err);
    }
    return false;
  }
  bool password = false;
  for (PQconninfoOption* o = opts; o->keyword; ++o)
    if (std::string(o->keyword) == "password" && o->val && *o->val) password = true;
  PQconninfoFree(opts);
  if (password) {
    error = "the connection string carries a password; put it in the password file (~/.pgpass) or "
            "a service file instead";
    return false;
  }
  return true;
}

CPgConnection::~CPgConnection() { Close(); }

bool CPgConnection::Open(const std::string& conninfo, std::string& error) {
  Close();
  if (!CheckConnInfo(conninfo, error)) return false;
  conninfo_ = conninfo;
  // A default connect timeout and our name; what the string says itself comes later and wins.
  // Job text is Windows-1252 throughout; the server converts it to the database's encoding.
  const char* keys[] = {"connect_timeout", "application_name", "client_encoding", "dbname", nullptr};
  const char* values[] = {"5", "tagwright", "WIN1252", conninfo.c_str(), nullptr};
  PGconn* c = PQconnectdbParams(keys, values, 1);
  if (!c || PQstatus(c) != CONNECTION_OK) {
    error = c ? PQerrorMessage(c) : "out of memory";
    while (!error.empty() && (error.back() == '\n' || error.back() == ' ')) error.pop_back();
    if (c) PQfinish(c);
    return false;
  }
  conn_ = c;
  // Notices (a table that already exists ...) are not the operator's business.
  PQsetNoticeProcessor(conn_, [](void*, const char*) {}, nullptr);
  return true;
}

void CPgConnection::Close() {
  if (conn_) PQfinish(conn_);
  conn_ = nullptr;
}

bool CPgConnection::Healthy() const { return conn_ && PQstatus(conn_) == CONNECTION_OK; }

bool CPgConnection::Reopen(std::string& error) {
  const std::string info = conninfo_;
  return Open(info, error);
}

CPgResult CPgConnection::Exec(const std::string& sql, const std::vector<std::optional<std::string>>& params) {
  if (!conn_) {
    CPgResult r;
    r.error_ = "not connected";
    return r;
  }
  std::vector<const char*> values;
  values.reserve(params.size());
  for (const auto& p : params) values.push_back(p ? p->c_str() : nullptr);
  CPgResult r(PQexecParams(conn_, sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(),
                           nullptr, nullptr, 0));
  if (!r.ok_ && PQstatus(conn_) != CONNECTION_OK && r.error_.empty()) r.error_ = PQerrorMessage(conn_);
  return r;
}

CPgResult CPgConnection::ExecScript(const std::string& sql) {
  if (!conn_) {
    CPgResult r;
    r.error_ = "not connected";
    return r;
  }
  return CPgResult(PQexec(conn_, sql.c_str()));
}

std::vector<CPgResult> CPgConnection::ExecBatch(const std::string& sql) {
  std::vector<CPgResult> out;
  if (!conn_ || !PQsendQuery(conn_, sql.c_str())) {
    CPgResult r;
    r.error_ = conn_ ? PQerrorMessage(conn_) : "not connected";
    out.push_back(r);
    return out;
  }
  while (PGresult* res = PQgetResult(conn_)) out.emplace_back(res);
  if (out.empty()) out.emplace_back(nullptr);
  return out;
}

std::string CPgConnection::Literal(const std::string& text) const {
  if (!conn_) return "NULL";
  char* q = PQescapeLiteral(conn_, text.c_str(), text.size());
  if (!q) return "NULL";
  std::string out(q);
  PQfreemem(q);
  return out;
}

std::string CPgConnection::Describe() const {
  if (!conn_) return {};
  std::string host = PQhost(conn_) ? PQhost(conn_) : "";
  if (!host.empty() && host[0] == '/') host = "socket " + host;
  return std::string("database ") + PQdb(conn_) + " on " + host + ":" + PQport(conn_);
}

}  // namespace tw::store
