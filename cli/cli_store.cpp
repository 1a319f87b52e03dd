#include "cli/cli_store.h"

#include <algorithm>

#include "cli/exit_codes.h"
#include "platform/cp1252.h"
#include "platform/process_info.h"
#include "shell/settings_keys.h"
#include "shell/string_table.h"

#ifdef TW_HAVE_PG_STORE
#include <ctime>

#include "shell/atomic_file.h"
#include "shell/import_file.h"
#include "shell/protocol_file.h"
#include "store/pg_job_store.h"
#include "store/pg_reservation_store.h"
#include "store/pg_schema.h"
#endif

namespace tw::cli {

StoreChoice ChooseStore(const CliOptions& o, ISettingsView& settings) {
  StoreChoice c;
  c.conninfo = !o.store.empty() ? o.store : settings.GetProfileString(settings::kSettings, settings::kJobStore, "");
  c.job = !o.jobName.empty() ? Utf8ToCp1252(o.jobName)
                             : settings.GetProfileString(settings::kSettings, settings::kJobName, "");
  if (!o.station.empty()) {
    c.station = Utf8ToCp1252(o.station);
  } else {
    c.station = HostName();
    if (c.station.empty()) c.station = "station";
  }
  return c;
}

#ifndef TW_HAVE_PG_STORE

struct SharedJobRun::Impl {};
SharedJobRun::SharedJobRun() = default;
SharedJobRun::~SharedJobRun() = default;
int SharedJobRun::Prepare(const CliOptions&, const StoreChoice&, JobParams&, CliOutput& out) {
  out.Error(kExitBadArguments, "this program was built without the shared job store (libpq)");
  return kExitBadArguments;
}
CReservationStore* SharedJobRun::Store() { return nullptr; }
void SharedJobRun::SetReader(const std::string&) {}
std::string SharedJobRun::Describe() const { return {}; }
bool SharedJobRun::NothingLeft() const { return false; }

bool SharedStoreBuiltIn() { return false; }

static int NotBuiltIn(CliOutput& out) {
  out.Error(kExitBadArguments, "this program was built without the shared job store (libpq)");
  return kExitBadArguments;
}
int StoreCommand(const CliOptions&, ISettingsView&, CliOutput& out) { return NotBuiltIn(out); }
int ProtocolCommand(const CliOptions&, ISettingsView&, CliOutput& out) { return NotBuiltIn(out); }
int SharedJobCommand(const std::string&, const CliOptions&, const StoreChoice&, const JobParams&, CliOutput& out) {
  return NotBuiltIn(out);
}

#else

bool SharedStoreBuiltIn() { return true; }

namespace {

using store::CPgJobStore;
using store::SharedJob;
using store::SharedRecord;

int NoStore(CliOutput& out, const std::string& why) {
  out.Error(kExitNoReader, "shared job store: " + why);
  return kExitNoReader;
}

// A connection string that cannot be used as given is the caller's mistake, not a missing store.
bool UsableConnInfo(const std::string& conninfo, CliOutput& out) {
  std::string error;
  if (store::CheckConnInfo(conninfo, error)) return true;
  out.Error(kExitBadArguments, "shared job store: " + error);
  return false;
}

std::string TimeText(long long t) {
  if (t <= 0) return {};
  const std::time_t tt = static_cast<std::time_t>(t);
  std::tm tm{};
  char buf[32] = {};
  if (!localtime_r(&tt, &tm) || std::strftime(buf, sizeof buf, "%d.%m.%Y %H:%M:%S", &tm) == 0) return {};
  return buf;
}

bool ReadImportLines(const std::string& path, std::vector<std::string>& lines, std::string& error) {
  CImportFile f;
  if (!f.Open(path)) {
    error = "import file '" + path + "' cannot be read";
    return false;
  }
  for (std::string line; f.ReadLine(line);) lines.push_back(line);
  if (lines.empty()) {
    error = "import file '" + path + "' is empty";
    return false;
  }
  return true;
}

}  // namespace

int StoreCommand(const CliOptions& o, ISettingsView& settings, CliOutput& out) {
  const std::string sub = o.positional.empty() ? "" : o.positional[0];
  if ((sub != "init" && sub != "migrate") || o.positional.size() != 1) {
    out.Error(kExitBadArguments, "store needs init or migrate");
    return kExitBadArguments;
  }
  const StoreChoice c = ChooseStore(o, settings);
  if (!c.Shared()) {
    out.Error(kExitBadArguments, "no store: give --store CONNINFO or set JobStore in section Settings");
    return kExitBadArguments;
  }
  store::CPgConnection db;
  std::string error;
  if (!UsableConnInfo(c.conninfo, out)) return kExitBadArguments;
  if (!db.Open(c.conninfo, error)) return NoStore(out, error);
  const int found = store::SchemaVersion(db, error);
  if (found < 0) return NoStore(out, error);
  if (sub == "init" && found > 0) {
    if (found != store::kSchemaVersion) {
      out.Error(kExitFailed, "the store has schema version " + std::to_string(found) + ": use 'store migrate'");
      return kExitFailed;
    }
    out.Object("store", {{"store", db.Describe()}, {"schema", std::to_string(found)}, {"action", "none"}});
    return kExitOk;
  }
  int from = 0;
  if (!store::MigrateSchema(db, from, error)) {
    out.Error(kExitFailed, "shared job store: " + error);
    return kExitFailed;
  }
  out.Object("store", {{"store", db.Describe()},
                       {"schema", std::to_string(store::kSchemaVersion)},
                       {"from", std::to_string(from)},
                       {"action", from == store::kSchemaVersion ? "none" : sub == "init" ? "created" : "migrated"}});
  return kExitOk;
}

int SharedJobCommand(const std::string& sub, const CliOptions& o, const StoreChoice& c, const JobParams& job,
                     CliOutput& out) {
  if (c.job.empty()) {
    out.Error(kExitBadArguments, "a shared job needs a name: --job NAME (or JobName in section Settings)");
    return kExitBadArguments;
  }
  CPgJobStore st;
  std::string error;
  if (!UsableConnInfo(c.conninfo, out)) return kExitBadArguments;
  if (!st.Connect(c.conninfo, error)) return NoStore(out, error);
  if (sub == "set" || sub == "import") {
    std::vector<std::string> lines;
    if (job.importData && !ReadImportLines(job.importFile, lines, error)) {
      out.Error(kExitBadArguments, error);
      return kExitBadArguments;
    }
    SharedJob before;
    std::string ignore;
    st.LoadJob(c.job, before, ignore);
    const bool once = o.eachTagOnce < 0 ? before.eachTagOnce : o.eachTagOnce == 1;
    if (!st.PutJob(c.job, job, once, lines, error)) {
      out.Error(kExitFailed, "shared job " + c.job + ": " + error);
      return kExitFailed;
    }
  }
  SharedJob sj;
  if (!st.LoadJob(c.job, sj, error)) {
    out.Error(kExitBadArguments, error);
    return kExitBadArguments;
  }
  if (sub != "show") return kExitOk;
  std::vector<std::pair<std::string, std::string>> f = {
      {"store", st.Describe()},
      {"job", sj.name},
      {"station", c.station},
      {"eachTagOnce", sj.eachTagOnce ? "1" : "0"},
  };
  if (sj.import) {
    f.push_back({"importFile", sj.importFile});
    f.push_back({"importLines", std::to_string(sj.importLines)});
    f.push_back({"importLinesLeft", std::to_string(sj.importLinesLeft)});
  } else {
    f.push_back({"nextValue", sj.nextValue});
  }
  out.Object("shared", f);
  for (const SharedRecord& r : st.Unsettled(sj.id, "", error))
    out.Object("reservation", {{"state", r.outcome},
                               {"value", r.value},
                               {"line", r.lineNo ? std::to_string(r.lineNo) : ""},
                               {"uid", r.uid},
                               {"station", r.station},
                               {"reader", r.reader},
                               {"time", TimeText(r.reservedAt)}});
  return kExitOk;
}

struct SharedJobRun::Impl {
  std::unique_ptr<store::CPgReservationStore> store;
  bool nothingLeft = false;
};
bool SharedJobRun::NothingLeft() const { return impl_->nothingLeft; }
SharedJobRun::SharedJobRun() : impl_(std::make_unique<Impl>()) {}
SharedJobRun::~SharedJobRun() = default;
CReservationStore* SharedJobRun::Store() { return impl_->store.get(); }
void SharedJobRun::SetReader(const std::string& reader) {
  if (impl_->store) impl_->store->SetReader(reader);
}
std::string SharedJobRun::Describe() const { return impl_->store ? impl_->store->Describe() : std::string(); }

int SharedJobRun::Prepare(const CliOptions& o, const StoreChoice& c, JobParams& job, CliOutput& out) {
  if (c.job.empty()) {
    out.Error(kExitBadArguments, "a shared job needs a name: --job NAME (or JobName in section Settings)");
    return kExitBadArguments;
  }
  static const char* const kStationOptions[] = {"log", "log-reads", "no-log", "cycle-time", "beep-time"};
  for (const auto& [name, value] : o.jobOptions) {
    if (std::find(std::begin(kStationOptions), std::end(kStationOptions), name) == std::end(kStationOptions)) {
      out.Error(kExitBadArguments, "--" + name + ": the fields of shared job " + Cp1252ToUtf8(c.job) +
                                       " are the store's (change them with job set)");
      return kExitBadArguments;
    }
  }
  if (!o.settingsFile.empty()) {
    out.Error(kExitBadArguments, "--settings: the fields of a shared job are the store's (use job set)");
    return kExitBadArguments;
  }
  if (!UsableConnInfo(c.conninfo, out)) return kExitBadArguments;
  impl_->store = std::make_unique<store::CPgReservationStore>(c.conninfo, c.job, c.station, "");
  std::string error;
  JobProgress progress;
  if (!impl_->store->Connect(error) || !impl_->store->ReadProgress(progress, error)) {
    impl_->store.reset();
    out.Error(kExitNoReader, FormatString(33301, error.c_str()));
    return kExitNoReader;
  }
  const store::SharedJob& sj = impl_->store->Job();
  JobParams shared = sj.params;
  KeepStationFields(shared, job);
  // Options on top: protocol files and timings only (checked above).
  std::string why;
  if (!ApplyJobOptions(o.jobOptions, shared, why)) {
    out.Error(kExitBadArguments, why);
    return kExitBadArguments;
  }
  shared.importData = 0;
  shared.importFile.clear();
  shared.importLinesUsed = 0;
  shared.autoIncrement = sj.import ? 0 : 1;
  shared.valueText = progress.value;
  job = shared;
  if (impl_->store->ValuesUsedUp()) {
    out.Info(LoadString(33302));
    impl_->nothingLeft = true;
  }
  return kExitOk;
}

int ProtocolCommand(const CliOptions& o, ISettingsView& settings, CliOutput& out) {
  if (o.positional.size() != 2 || o.positional[0] != "export") {
    out.Error(kExitBadArguments, "usage: protocol export --job NAME FILE");
    return kExitBadArguments;
  }
  const StoreChoice c = ChooseStore(o, settings);
  if (!c.Shared()) {
    out.Error(kExitBadArguments, "no store: give --store CONNINFO or set JobStore in section Settings");
    return kExitBadArguments;
  }
  if (c.job.empty()) {
    out.Error(kExitBadArguments, "protocol export needs --job NAME");
    return kExitBadArguments;
  }
  CPgJobStore st;
  SharedJob sj;
  std::string error;
  if (!UsableConnInfo(c.conninfo, out)) return kExitBadArguments;
  if (!st.Connect(c.conninfo, error)) return NoStore(out, error);
  if (!st.LoadJob(c.job, sj, error)) {
    out.Error(kExitBadArguments, error);
    return kExitBadArguments;
  }
  const std::vector<SharedRecord> records = st.Written(sj.id, error);
  if (!error.empty()) return NoStore(out, error);
  std::string text;
  long n = 0;
  for (const SharedRecord& r : records) {
    ProtocolLineInput in;
    in.uid = ParseProtocolUid(r.uid);
    in.numberFormat = sj.params.numberFormat;
    in.display = sj.params.display;
    in.orientation = sj.params.orientation;
    in.startBlock = sj.params.startBlock;
    in.byteCount = sj.params.byteCount;
    in.valueText = r.value;
    char num[32];
    std::snprintf(num, sizeof num, "%6ld\t", ++n);
    text += num + BuildProtocolLineBody(in, static_cast<std::time_t>(r.doneAt));
  }
  const std::string& file = o.positional[1];
  if (!ReplaceFileAtomically(file, text)) {
    out.Error(kExitFailed, "protocol file '" + file + "' could not be written");
    return kExitFailed;
  }
  out.Object("protocol", {{"job", sj.name}, {"file", file}, {"lines", std::to_string(n)}});
  return kExitOk;
}

#endif

}  // namespace tw::cli
