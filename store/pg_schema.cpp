#include "store/pg_schema.h"

namespace tw::store {
namespace {

// Step n brings version n-1 to n. Never change a step that has shipped; add one.
const char* const kSteps[] = {
    // 1: jobs, their value queue and the record of every value handed out.
    R"SQL(
CREATE TABLE tw_schema (version integer NOT NULL);
INSERT INTO tw_schema VALUES (0);
CREATE TABLE tw_job (
  id serial PRIMARY KEY,
  name text NOT NULL UNIQUE,
  params text NOT NULL,
  each_tag_once boolean NOT NULL DEFAULT false,
  next_value text,
  import_file text,
  import_lines integer NOT NULL DEFAULT 0,
  created timestamptz NOT NULL DEFAULT now(),
  changed timestamptz NOT NULL DEFAULT now()
);
CREATE TABLE tw_queue (
  job_id integer NOT NULL REFERENCES tw_job ON DELETE CASCADE,
  pos bigint NOT NULL,
  line_no integer,
  value text NOT NULL,
  PRIMARY KEY (job_id, pos)
);
CREATE TABLE tw_record (
  id bigserial PRIMARY KEY,
  job_id integer NOT NULL REFERENCES tw_job ON DELETE CASCADE,
  value text NOT NULL,
  line_no integer,
  uid text NOT NULL DEFAULT '',
  station text NOT NULL,
  reader text NOT NULL DEFAULT '',
  reserved timestamptz NOT NULL DEFAULT now(),
  done timestamptz,
  outcome text NOT NULL DEFAULT 'open'
    CHECK (outcome IN ('open', 'written', 'spent', 'settled', 'returned'))
);
CREATE INDEX tw_record_uid ON tw_record (job_id, uid);
CREATE INDEX tw_record_open ON tw_record (job_id, station) WHERE outcome IN ('open', 'spent');
-- A value (a counted one, or an import line) lives in one record unless it was given back.
CREATE UNIQUE INDEX tw_record_value_once ON tw_record (job_id, value)
  WHERE line_no IS NULL AND outcome <> 'returned';
CREATE UNIQUE INDEX tw_record_line_once ON tw_record (job_id, line_no)
  WHERE line_no IS NOT NULL AND outcome <> 'returned';
)SQL",
};
constexpr int kStepCount = static_cast<int>(sizeof kSteps / sizeof kSteps[0]);
static_assert(kStepCount == kSchemaVersion, "one step per schema version");

// Any number; the same in every program that migrates this store.
constexpr char kLockSql[] = "SELECT pg_advisory_xact_lock(7455624)";

}  // namespace

int SchemaVersion(CPgConnection& db, std::string& error) {
  CPgResult r = db.Exec("SELECT to_regclass('tw_schema') IS NOT NULL");
  if (!r.Ok()) {
    error = r.Error();
    return -1;
  }
  if (r.Get(0, 0) != "t") return 0;
  r = db.Exec("SELECT max(version) FROM tw_schema");
  if (!r.Ok()) {
    error = r.Error();
    return -1;
  }
  return static_cast<int>(r.GetInt(0, 0, 0));
}

bool MigrateSchema(CPgConnection& db, int& from, std::string& error) {
  from = SchemaVersion(db, error);
  if (from < 0) return false;
  for (;;) {
    CPgResult r = db.ExecScript(std::string("BEGIN; ") + kLockSql);
    if (!r.Ok()) {
      error = r.Error();
      db.ExecScript("ROLLBACK");
      return false;
    }
    // Read again under the lock: another program may have migrated meanwhile.
    const int now = SchemaVersion(db, error);
    if (now < 0 || now > kSchemaVersion) {
      if (now > kSchemaVersion)
        error = "the store has schema version " + std::to_string(now) + ", newer than this program's (" +
                std::to_string(kSchemaVersion) + ")";
      db.ExecScript("ROLLBACK");
      return false;
    }
    if (now == kSchemaVersion) {
      db.ExecScript("COMMIT");
      return true;
    }
    r = db.ExecScript(std::string(kSteps[now]) + "; UPDATE tw_schema SET version = " + std::to_string(now + 1));
    if (!r.Ok()) {
      error = "schema step " + std::to_string(now + 1) + ": " + r.Error();
      db.ExecScript("ROLLBACK");
      return false;
    }
    r = db.ExecScript("COMMIT");
    if (!r.Ok()) {
      error = r.Error();
      return false;
    }
  }
}

}  // namespace tw::store
