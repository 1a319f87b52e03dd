#include "store/pg_job_store.h"

#include <unistd.h>

#include "job/job_settings.h"
#include "job/value_encoding.h"
#include "shell/ini_ex.h"
#include "shell/settings_keys.h"
#include "store/pg_schema.h"

namespace tw::store {
namespace {

// An in-memory settings document seen through the store interface, so that the job fields are
// written and read by the same code as the per-user store.
class IniDocumentStore : public ISettingsStore {
 public:
  explicit IniDocumentStore(CIniEx& ini) : ini_(ini) {}
  int GetProfileInt(const std::string& s, const std::string& k, int def) override {
    return ini_.GetProfileInt(s, k, def);
  }
  std::string GetProfileString(const std::string& s, const std::string& k, const std::string& def) override {
    return ini_.GetProfileString(s, k, def);
  }
  bool WriteProfileInt(const std::string& s, const std::string& k, int v) override {
    ini_.WriteProfileInt(s, k, v);
    return true;
  }
  bool WriteProfileString(const std::string& s, const std::string& k, const std::string& v) override {
    ini_.WriteProfileString(s, k, v);
    return true;
  }
  bool Transaction(const std::function<void(ISettingsView&)>& fn) override {
    fn(*this);
    return true;
  }

 private:
  CIniEx& ini_;
};

constexpr char kRecordColumns[] =
    "id, value, coalesce(line_no, 0), uid, station, reader, extract(epoch from reserved)::bigint, "
    "coalesce(extract(epoch from done)::bigint, 0), outcome";

SharedRecord RecordFrom(const CPgResult& r, int row) {
  SharedRecord x;
  x.id = r.GetInt(row, 0);
  x.value = r.Get(row, 1);
  x.lineNo = static_cast<int>(r.GetInt(row, 2));
  x.uid = r.Get(row, 3);
  x.station = r.Get(row, 4);
  x.reader = r.Get(row, 5);
  x.reservedAt = r.GetInt(row, 6);
  x.doneAt = r.GetInt(row, 7);
  x.outcome = r.Get(row, 8);
  return x;
}

// Text with a NUL byte cannot be a parameter (and no tag value holds one).
bool HasNul(const std::string& s) { return s.find('\0') != std::string::npos; }

// A PostgreSQL array literal of texts.
std::string ArrayLiteral(const std::vector<std::string>& items) {
  std::string out = "{";
  for (size_t i = 0; i < items.size(); ++i) {
    if (i) out += ',';
    out += '"';
    for (char c : items[i]) {
      if (c == '"' || c == '\\') out += '\\';
      out += c;
    }
    out += '"';
  }
  return out + "}";
}

bool Fail(const CPgResult& r, std::string& error) {
  error = r.Error();
  return false;
}

}  // namespace

std::string JobParamsToText(const JobParams& job) {
  CIniEx ini;
  IniDocumentStore doc(ini);
  SaveSettings(job, doc);
  // Only the job: the protocol files and the import position are the station's.
  CIniEx out;
  for (const CSection& s : ini.Sections())
    if (s.name == settings::kSettings)
      for (size_t i = 0; i < s.entryNames.size() && i < s.entryValues.size(); ++i)
        if (s.entryNames[i] != settings::kDatenLinesUsed)
          out.WriteProfileString(s.name, s.entryNames[i], s.entryValues[i]);
  return out.ToText();
}

void JobParamsFromText(const std::string& text, JobParams& job) {
  CIniEx ini;
  ini.ParseText(text);
  IniDocumentStore doc(ini);
  JobParams read;
  LoadSettings(read, doc);
  KeepStationFields(read, job);
  read.importLinesUsed = 0;
  job = read;
}

bool CPgJobStore::Connect(const std::string& conninfo, std::string& error) {
  if (!db_.Open(conninfo, error)) return false;
  // Commits wait for the disk only where a crash of the server could otherwise hand a value out
  // twice (reservations, values given back or spent) or lose a record nobody else holds.
  if (CPgResult r = db_.Exec("SET synchronous_commit = off"); !r.Ok()) return Fail(r, error);
  const int v = SchemaVersion(db_, error);
  if (v < 0) return false;
  if (v == 0) {
    error = "the store has no tables yet: run 'tagwright-cli store init'";
    return false;
  }
  if (v != kSchemaVersion) {
    error = v < kSchemaVersion ? "the store has schema version " + std::to_string(v) +
                                     ": run 'tagwright-cli store migrate'"
                               : "the store has schema version " + std::to_string(v) +
                                     ", newer than this program's (" + std::to_string(kSchemaVersion) + ")";
    return false;
  }
  return true;
}

bool CPgJobStore::PutJob(const std::string& name, const JobParams& params, bool eachTagOnce,
                         const std::vector<std::string>& importLines, std::string& error) {
  if (name.empty() || HasNul(name)) {
    error = "a job needs a name";
    return false;
  }
  for (const std::string& l : importLines)
    if (HasNul(l)) {
      error = "the import file holds a NUL byte";
      return false;
    }
  const bool import = params.importData != 0;
  const std::string text = JobParamsToText(params);
  const std::string next = import ? std::string() : AdvanceValueText(params.valueText, params, 0);
  if (HasNul(next)) {
    error = "the value holds a NUL byte";
    return false;
  }
  CPgResult r = db_.ExecScript("BEGIN");
  if (!r.Ok()) return Fail(r, error);
  auto rollback = [&](const CPgResult& why) {
    error = why.Ok() ? error : why.Error();
    db_.ExecScript("ROLLBACK");
    return false;
  };
  r = db_.Exec("SELECT id, next_value IS NULL, coalesce(import_file, '') FROM tw_job WHERE name = $1 FOR UPDATE",
               {name});
  if (!r.Ok()) return rollback(r);
  if (r.Rows() == 1) {
    const std::string id = r.Get(0, 0);
    const bool wasImport = r.Get(0, 1) == "t";
    if (wasImport != import || (import && r.Get(0, 2) != params.importFile)) {
      error = "job " + name + " exists with " +
              (wasImport ? "the import file " + r.Get(0, 2) : std::string("counted values")) +
              "; its values cannot change source: give the new job its own name";
      return rollback(CPgResult());
    }
    r = db_.Exec(
        "UPDATE tw_job SET params = $2, each_tag_once = $3, changed = now(), "
        "next_value = CASE WHEN next_value IS NULL THEN NULL ELSE $4 END WHERE id = $1",
        {id, text, eachTagOnce ? "t" : "f", next});
    if (!r.Ok()) return rollback(r);
  } else {
    r = db_.Exec(
        "INSERT INTO tw_job (name, params, each_tag_once, next_value, import_file, import_lines) "
        "VALUES ($1, $2, $3, $4, $5, $6) RETURNING id",
        {name, text, eachTagOnce ? "t" : "f", import ? std::nullopt : std::optional<std::string>(next),
         import ? std::optional<std::string>(params.importFile) : std::nullopt,
         std::to_string(importLines.size())});
    if (!r.Ok()) return rollback(r);
    const std::string id = r.Get(0, 0);
    if (import && !importLines.empty()) {
      r = db_.Exec(
          "INSERT INTO tw_queue (job_id, pos, line_no, value) "
          "SELECT $1, n, n, v FROM unnest($2::text[]) WITH ORDINALITY AS t(v, n)",
          {id, ArrayLiteral(importLines)});
      if (!r.Ok()) return rollback(r);
    }
  }
  r = db_.ExecScript("COMMIT");
  if (!r.Ok()) return Fail(r, error);
  return true;
}

bool CPgJobStore::LoadJob(const std::string& name, SharedJob& job, std::string& error) {
  CPgResult r = db_.Exec(
      "SELECT id, params, each_tag_once, next_value IS NULL, coalesce(next_value, ''), "
      "coalesce(import_file, ''), import_lines, (SELECT count(*) FROM tw_queue q WHERE q.job_id = j.id) "
      "FROM tw_job j WHERE name = $1",
      {name});
  if (!r.Ok()) return Fail(r, error);
  if (r.Rows() != 1) {
    error = "no job " + name + " in the store";
    return false;
  }
  job.id = static_cast<int>(r.GetInt(0, 0));
  job.name = name;
  JobParamsFromText(r.Get(0, 1), job.params);
  job.eachTagOnce = r.Get(0, 2) == "t";
  job.import = r.Get(0, 3) == "t";
  job.nextValue = r.Get(0, 4);
  job.importFile = r.Get(0, 5);
  job.importLines = static_cast<int>(r.GetInt(0, 6));
  job.importLinesLeft = static_cast<int>(r.GetInt(0, 7));
  // The store decides where values come from; the fields say so as well.
  job.params.importData = job.import ? 1 : 0;
  job.params.autoIncrement = job.import ? 0 : 1;
  job.params.importFile = job.importFile;
  if (!job.import) job.params.valueText = job.nextValue;
  return true;
}

std::vector<std::string> CPgJobStore::JobNames(std::string& error) {
  std::vector<std::string> out;
  CPgResult r = db_.Exec("SELECT name FROM tw_job ORDER BY name");
  if (!r.Ok()) error = r.Error();
  for (int i = 0; i < r.Rows(); ++i) out.push_back(r.Get(i, 0));
  return out;
}

bool CPgJobStore::FindTag(int jobId, const std::string& uid, SharedRecord& record, std::string& error) {
  CPgResult r = db_.Exec(std::string("SELECT ") + kRecordColumns +
                             " FROM tw_record WHERE job_id = $1 AND uid = $2 AND outcome IN ('written', "
                             "'settled') ORDER BY id LIMIT 1",
                         {std::to_string(jobId), uid});
  if (!r.Ok()) {
    error = r.Error();
    return false;
  }
  if (r.Rows() == 0) return false;
  record = RecordFrom(r, 0);
  return true;
}

namespace {

constexpr char kBeginDurable[] = "BEGIN; SET LOCAL synchronous_commit = on";

}  // namespace

// A reservation is one batch, one round trip: an explicit transaction whose commit waits for the
// disk, the earlier record of the tag when the job takes each tag once, and one statement that
// takes the first value waiting in the queue (an import line, or a value given back) or else the
// counted value, guarded so that it does nothing for a tag already written. Counted values are
// taken optimistically: the station proposes the value it last saw with its successor (the job's
// own counting, done here), and the row changes only when the sequence still stands there. When
// another station was faster, the second try locks the sequence row first: a busy line costs one
// more round trip, never a storm of retries.
ReserveResult CPgJobStore::Reserve(const SharedJob& job, const std::string& uid, const std::string& station,
                                   const std::string& reader, SharedRecord& record, std::string& error,
                                   const std::set<long long>& spentSeen) {
  if (!db_.Healthy() && !db_.Reopen(error)) return ReserveResult::Failed;
  const std::string x = std::to_string(job.id);
  const std::string sequenceSql = "SELECT next_value FROM tw_job WHERE id = " + x;
  // Lines that other stations hold in transactions not yet ended are still waiting: only an empty
  // queue means the import is used up.
  const std::string waitingSql = "SELECT EXISTS (SELECT 1 FROM tw_queue WHERE job_id = " + x + ")";
  if (!job.import && cachedJob_ != job.id) {
    CPgResult r = db_.ExecScript(sequenceSql);
    if (!r.Ok() || r.Rows() != 1 || r.IsNull(0, 0)) {
      error = r.Ok() ? "job " + job.name + " no longer counts its values" : r.Error();
      return ReserveResult::Failed;
    }
    cachedNext_ = r.Get(0, 0);
    cachedJob_ = job.id;
  }
  const std::string u = db_.Literal(uid), st = db_.Literal(station), rd = db_.Literal(reader);
  // Records of this tag that stop the reservation: its earlier value when the job takes each tag
  // once, and a value another station spent on it (the caller settles that first).
  std::string stop;
  if (!uid.empty()) {
    stop = "(p.outcome = 'spent' AND p.station <> " + st;
    for (long long id : spentSeen) stop += " AND p.id <> " + std::to_string(id);
    stop += ")";
    if (job.eachTagOnce) stop = "(p.outcome IN ('written', 'settled') OR " + stop + ")";
  }
  const std::string stopping = "FROM tw_record p WHERE p.job_id = " + x + " AND p.uid = " + u + " AND " + stop;
  const std::string earlier = stop.empty() ? "SELECT 1 WHERE false"
                                           : std::string("SELECT ") + kRecordColumns + " " + stopping +
                                                 " ORDER BY p.outcome = 'spent', p.id LIMIT 1";
  const std::string guard = stop.empty() ? "" : " AND NOT EXISTS (SELECT 1 " + stopping + ")";
  auto reserveSql = [&](const std::string& value) {
    std::string sql = "WITH q AS (SELECT pos FROM tw_queue WHERE job_id = " + x + guard +
                      " ORDER BY pos LIMIT 1 FOR UPDATE SKIP LOCKED), d AS (DELETE FROM tw_queue t USING q WHERE "
                      "t.job_id = " + x + " AND t.pos = q.pos RETURNING t.value, t.line_no)";
    std::string rows = "SELECT " + x + ", d.value, d.line_no, " + u + ", " + st + ", " + rd + " FROM d";
    if (!job.import) {
      sql += ", u AS (UPDATE tw_job SET next_value = " + db_.Literal(AdvanceValueText(value, job.params, 1)) +
             " WHERE id = " + x + " AND next_value = " + db_.Literal(value) + guard +
             " AND NOT EXISTS (SELECT 1 FROM d) RETURNING id)";
      rows += " UNION ALL SELECT " + x + ", " + db_.Literal(value) + ", NULL, " + u + ", " + st + ", " + rd + " FROM u";
    }
    return sql + " INSERT INTO tw_record (job_id, value, line_no, uid, station, reader) " + rows + " RETURNING " +
           kRecordColumns;
  };
  for (int attempt = 0; attempt < (job.import ? 50 : 3); ++attempt) {
    const bool locked = attempt > 0 && !job.import;
    std::string batch;
    if (locked) {
      CPgResult r = db_.ExecScript(std::string(kBeginDurable) + "; " + sequenceSql + " FOR UPDATE");
      if (!r.Ok() || r.Rows() != 1 || r.IsNull(0, 0)) {
        error = r.Ok() ? "job " + job.name + " no longer counts its values" : r.Error();
        db_.ExecScript("ROLLBACK");
        cachedJob_ = 0;
        return ReserveResult::Failed;
      }
      cachedNext_ = r.Get(0, 0);
    } else {
      batch = std::string(kBeginDurable) + "; ";
    }
    const std::string value = cachedNext_;
    batch += earlier + "; " + reserveSql(value) + "; " + (job.import ? waitingSql : sequenceSql) + "; COMMIT";
    std::vector<CPgResult> res = db_.ExecBatch(batch);
    // Results: [BEGIN, SET,] earlier record, reservation, sequence, COMMIT.
    const size_t base = locked ? 0 : 2;
    if (res.size() != base + 4 || !res.back().Ok()) {
      const CPgResult& bad = res.back();
      error = bad.Ok() ? "the reservation did not complete" : bad.Error();
      db_.ExecScript("ROLLBACK");
      cachedJob_ = 0;  // read the sequence afresh next time
      if (bad.State() == "23505") {
        record.value = value;
        return ReserveResult::ValueUsed;
      }
      return ReserveResult::Failed;
    }
    if (!job.import) {
      if (res[base + 2].Rows() != 1 || res[base + 2].IsNull(0, 0)) {
        error = "job " + job.name + " no longer counts its values";
        cachedJob_ = 0;
        return ReserveResult::Failed;
      }
      cachedNext_ = res[base + 2].Get(0, 0);
    }
    // The guard saw the records a moment after the query above: what it let through stands.
    if (res[base + 1].Rows() == 1) {
      record = RecordFrom(res[base + 1], 0);
      return ReserveResult::Ok;
    }
    if (res[base].Rows() > 0) {
      record = RecordFrom(res[base], 0);
      return record.outcome == kSpent ? ReserveResult::Spent : ReserveResult::TagOnce;
    }
    if (job.import) {
      if (res[base + 2].Get(0, 0) != "t") return ReserveResult::Exhausted;
      usleep(2000);
    }
  }
  error = "the job's sequence kept moving: too many stations at once";
  return ReserveResult::Failed;
}

CPgResult CPgJobStore::ExecDurable(const std::string& sql, const std::vector<std::optional<std::string>>& params) {
  CPgResult r = db_.ExecScript(kBeginDurable);
  if (!r.Ok()) return r;
  r = db_.Exec(sql, params);
  if (!r.Ok()) {
    db_.ExecScript("ROLLBACK");
    return r;
  }
  if (CPgResult c = db_.ExecScript("COMMIT"); !c.Ok()) return c;
  return r;
}

bool CPgJobStore::Complete(long long recordId, const std::string& uid, const char* outcome, bool durable,
                           std::string& error) {
  if (!db_.Healthy() && !db_.Reopen(error)) return false;
  const std::vector<std::optional<std::string>> params = {std::to_string(recordId), outcome, uid};
  const std::string sql =
      "UPDATE tw_record SET outcome = $2, done = now(), uid = CASE WHEN $3 = '' THEN uid ELSE $3 END "
      "WHERE id = $1 AND outcome IN ('open', 'spent') RETURNING id";
  CPgResult r = durable ? ExecDurable(sql, params) : db_.Exec(sql, params);
  if (!r.Ok()) return Fail(r, error);
  if (r.Rows() != 1) {
    error = "record " + std::to_string(recordId) + " is not open";
    return false;
  }
  return true;
}

bool CPgJobStore::GiveBack(long long recordId, std::string& error) {
  if (!db_.Healthy() && !db_.Reopen(error)) return false;
  CPgResult r = ExecDurable(
      "WITH r AS (UPDATE tw_record SET outcome = 'returned', done = now() WHERE id = $1 AND outcome = 'open' "
      "RETURNING job_id, id, line_no, value) "
      "INSERT INTO tw_queue (job_id, pos, line_no, value) SELECT job_id, coalesce(line_no, id), line_no, value "
      "FROM r RETURNING pos",
      {std::to_string(recordId)});
  if (!r.Ok()) return Fail(r, error);
  if (r.Rows() != 1) {
    error = "record " + std::to_string(recordId) + " is not open";
    return false;
  }
  return true;
}

bool CPgJobStore::MarkSpent(long long recordId, std::string& error) {
  if (!db_.Healthy() && !db_.Reopen(error)) return false;
  CPgResult r = ExecDurable("UPDATE tw_record SET outcome = 'spent' WHERE id = $1 AND outcome = 'open' RETURNING id",
                            {std::to_string(recordId)});
  if (!r.Ok()) return Fail(r, error);
  return true;
}

std::vector<SharedRecord> CPgJobStore::Unsettled(int jobId, const std::string& station, std::string& error) {
  std::vector<SharedRecord> out;
  CPgResult r = db_.Exec(std::string("SELECT ") + kRecordColumns +
                             " FROM tw_record WHERE job_id = $1 AND outcome IN ('open', 'spent') "
                             "AND ($2 = '' OR station = $2) ORDER BY id",
                         {std::to_string(jobId), station});
  if (!r.Ok()) error = r.Error();
  for (int i = 0; i < r.Rows(); ++i) out.push_back(RecordFrom(r, i));
  return out;
}

std::vector<SharedRecord> CPgJobStore::Written(int jobId, std::string& error) {
  std::vector<SharedRecord> out;
  CPgResult r = db_.Exec(std::string("SELECT ") + kRecordColumns +
                             " FROM tw_record WHERE job_id = $1 AND outcome IN ('written', 'settled') "
                             "ORDER BY done, id",
                         {std::to_string(jobId)});
  if (!r.Ok()) error = r.Error();
  for (int i = 0; i < r.Rows(); ++i) out.push_back(RecordFrom(r, i));
  return out;
}

}  // namespace tw::store
