// A job shared by several stations in PostgreSQL: its parameters, its value sequence (the next
// counted value, or the lines of an import file waiting in a queue) and the record of every value
// handed out: value, UID, station, reader, times and outcome. A reservation is one short
// transaction that hands each caller a value nobody else holds; completion records the UID.
#pragma once
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "job/job_params.h"
#include "store/pg_connection.h"

namespace tw::store {

// Outcome of a record.
inline constexpr char kOpen[] = "open";          // reserved, tag not settled yet
inline constexpr char kWritten[] = "written";    // the tag holds the value
inline constexpr char kSpent[] = "spent";        // the station died or lost the tag: never reused
inline constexpr char kSettled[] = "settled";    // spent or open, later found on its tag
inline constexpr char kReturned[] = "returned";  // the tag certainly did not take it: back in the queue

struct SharedJob {
  int id = 0;
  std::string name;
  JobParams params;          // job fields only; protocol files and timings are the station's
  bool eachTagOnce = false;  // a UID that already has a value in this job is refused
  bool import = false;       // values from the queue of import lines, else counted
  std::string nextValue;     // counted jobs: what the next reservation gets
  std::string importFile;    // import jobs: the file the lines came from
  int importLines = 0;       // lines loaded
  int importLinesLeft = 0;   // lines still in the queue (given-back ones included)
};

struct SharedRecord {
  long long id = 0;
  std::string value;
  int lineNo = 0;  // import line (1-based), 0 for counted values
  std::string uid;
  std::string station;
  std::string reader;
  long long reservedAt = 0;  // seconds since the epoch
  long long doneAt = 0;      // 0 while open
  std::string outcome;
};

enum class ReserveResult {
  Ok,         // record holds the reservation
  Exhausted,  // import job: no line left
  TagOnce,    // each tag once: record holds the earlier record of this UID
  Spent,      // record holds another station's spent reservation for this UID, not in spentSeen
  ValueUsed,  // the next counted value already has a record (the sequence was set back)
  Failed,     // the store could not be reached or refused; error says why
};

class CPgJobStore {
 public:
  // Connects and checks that the schema is this program's version.
  bool Connect(const std::string& conninfo, std::string& error);
  CPgConnection& Db() { return db_; }
  std::string Describe() const { return db_.Describe(); }

  // Creates the job or updates an existing one: parameters, option, and for a counted job the next
  // value (in canonical form). An import job's lines are loaded when the job is created; an existing
  // job keeps its queue and records. false with error.
  bool PutJob(const std::string& name, const JobParams& params, bool eachTagOnce,
              const std::vector<std::string>& importLines, std::string& error);
  // false with error "no job NAME in the store" when missing.
  bool LoadJob(const std::string& name, SharedJob& job, std::string& error);
  std::vector<std::string> JobNames(std::string& error);

  // Hands out the next value of the job to station/reader for the tag uid (may be empty). A given-
  // back value comes first; then the next import line or counted value. The counted successor is
  // computed by the caller's rule (the job's own counting). Nothing is handed out while the tag
  // has a spent reservation of another station that is not in spentSeen.
  ReserveResult Reserve(const SharedJob& job, const std::string& uid, const std::string& station,
                        const std::string& reader, SharedRecord& record, std::string& error,
                        const std::set<long long>& spentSeen = {});

  // The earlier written or settled record of uid in the job, if any (each tag once).
  bool FindTag(int jobId, const std::string& uid, SharedRecord& record, std::string& error);

  // Ends an open or spent record: written/settled with the UID the value went to. durable: wait
  // until the server has it on disk; without, when the station holds the record durably itself
  // (its synced protocol line), the next durable commit takes it along.
  bool Complete(long long recordId, const std::string& uid, const char* outcome, bool durable,
                std::string& error);
  // The tag certainly did not take the value: it goes back to the queue for the next reservation.
  bool GiveBack(long long recordId, std::string& error);
  // The tag may hold the value but cannot be checked: never handed out again.
  bool MarkSpent(long long recordId, std::string& error);

  // Open and spent records of the job; of one station when station is not empty.
  std::vector<SharedRecord> Unsettled(int jobId, const std::string& station, std::string& error);
  // Written and settled records in the order they were completed.
  std::vector<SharedRecord> Written(int jobId, std::string& error);

 private:
  // One statement in a transaction that commits only once the server has it on disk.
  CPgResult ExecDurable(const std::string& sql, const std::vector<std::optional<std::string>>& params);
  CPgConnection db_;
  // What this connection last saw of a counted job's sequence.
  int cachedJob_ = 0;
  std::string cachedNext_;
};

// The job fields as the text of a settings file (section "Settings"), and back onto a job whose
// other fields (protocol files, timings) stay as they are.
std::string JobParamsToText(const JobParams& job);
void JobParamsFromText(const std::string& text, JobParams& job);

}  // namespace tw::store
