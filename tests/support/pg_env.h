// One private PostgreSQL server per test program, started before the first test and stopped after
// the last; each test takes a database of its own. Tests skip with the reason when no server can run.
#pragma once
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>

#include "tests/support/pg_server.h"

namespace tw::test {

class PgEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    skip_ = PgServer::Unavailable();
    if (!skip_.empty()) return;
    server_ = std::make_unique<PgServer>();
    std::string error;
    if (!server_->Start(error)) FAIL() << error;
  }
  void TearDown() override { server_.reset(); }
  static PgEnvironment* Get() { return instance_; }
  // Once per program, however many test files ask for it.
  static void Install() {
    if (!instance_) instance_ = static_cast<PgEnvironment*>(::testing::AddGlobalTestEnvironment(new PgEnvironment));
  }
  const std::string& SkipReason() const { return skip_; }
  PgServer* Server() { return server_.get(); }
  // A fresh database for one test.
  std::string NewDatabase() {
    std::string conninfo, error;
    const std::string name = "t" + std::to_string(++counter_);
    if (!server_ || !server_->CreateDatabase(name, conninfo, error)) ADD_FAILURE() << error;
    return conninfo;
  }

 private:
  static inline PgEnvironment* instance_ = nullptr;
  std::unique_ptr<PgServer> server_;
  std::string skip_;
  std::atomic<int> counter_{0};
};

}  // namespace tw::test

// First line of a test that needs the server.
#define TW_NEED_POSTGRES()                                                             \
  do {                                                                                 \
    if (!::tw::test::PgEnvironment::Get()->SkipReason().empty())                       \
      GTEST_SKIP() << ::tw::test::PgEnvironment::Get()->SkipReason();                  \
    ASSERT_NE(::tw::test::PgEnvironment::Get()->Server(), nullptr);                    \
  } while (0)
