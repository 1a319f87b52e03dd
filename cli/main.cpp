// tagwright-cli: the transponder job without a window, for scripted stations and line integration.
// The job and the interface come from the desktop application's per-user store, a settings file or
// options; output is one line per tag, or JSON lines.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/cli_output.h"
#include "cli/cli_reader.h"
#include "cli/cli_run.h"
#include "cli/cli_store.h"
#include "cli/exit_codes.h"
#include "job/job_engine.h"
#include "job/job_settings.h"
#include "job/reservation_store.h"
#include "job/type_layout.h"
#include "platform/cp1252.h"
#include "platform/install_dirs.h"
#include "platform/process_info.h"
#include "sdk/lan_config.h"
#include "sdk/lf_sdk.h"
#include "shell/file_prims.h"
#include "shell/settings_keys.h"
#include "shell/settings_store.h"
#include "shell/string_table.h"
#include "shell/timing_settings.h"

using namespace tw;
using namespace tw::cli;

namespace tw::cli {

const char* UsageText() {
  return "Usage: tagwright-cli <command> [options]\n"
         "\n"
         "Commands:\n"
         "  write                 write one tag; with --cycle until stopped (or until the import\n"
         "                        file is exhausted), with --count N until N tags are written\n"
         "  read                  read one tag; --cycle / --count N read cyclically\n"
         "  identify              open the reader and show model, firmware and capabilities\n"
         "  ports [--no-lan]      list serial ports, USB readers and (by broadcast) LAN readers\n"
         "  lan search            list LAN readers\n"
         "  lan show NAME         show a LAN reader's network settings\n"
         "  lan set NAME [--ip A.B.C.D[-PORT]|[NAME][-PORT]] [--netmask M] [--gateway G]\n"
         "                        change a LAN reader's address, net mask and gateway; what is\n"
         "                        not given stays as it is\n"
         "  job show              show the job (stored job, settings file, options) and the\n"
         "                        reservations not settled: open, and spent (may be on a tag\n"
         "                        without a protocol line)\n"
         "  job export FILE       write the job to a settings file\n"
         "  job import FILE       read a settings file into the stored job\n"
         "  job set               store the job with the options given (job options only)\n"
         "  store init|migrate    create the shared job store's tables / bring them up to date\n"
         "  protocol export FILE  write the records of the shared job (--job) as a protocol file\n"
         "  demo                  write ten tags on the simulated reader and show the protocol\n"
         "\n"
         "General options:\n"
         "  --port NAME           interface (COM1, /dev/ttyUSB0, FTDI serial, a.b.c.d, [name]);\n"
         "                        default: the stored interface of the desktop application\n"
         "  --address N --baud N --timeout MS   device address, baud rate (+ parity code), timeout\n"
         "  --settings FILE       take the job from a settings file (*.QZLF_Set)\n"
         "  --json                JSON lines on standard output\n"
         "  --lang de|en          language of the messages (default: the stored language)\n"
         "  --no-save             do not keep the next value in the store after each write\n"
         "  --simulate            use the built-in simulated reader, fed with tags of the job's type\n"
         "  --sim-feed MS         a new simulated tag every MS ms (default 400)\n"
         "  --sim-version XXXX    version answer of the simulated reader (default 243A)\n"
         "  --sim-trace FILE      frame trace of the simulated reader\n"
         "  --protocol FILE       demo: the protocol file\n"
         "  --store CONNINFO      shared job store, e.g. postgresql://dbhost/tagwright (default:\n"
         "                        JobStore in section Settings; passwords only from ~/.pgpass or a\n"
         "                        service file)\n"
         "  --job NAME            the shared job (default: JobName in section Settings); with job set\n"
         "                        and job import the job is put into the store, import lines included\n"
         "  --station NAME        this station in the shared records (default: the host name)\n"
         "  --each-tag-once on|off  job set: refuse a tag that already has a value in the job\n"
         "\n"
         "Job options (override single fields of the job):\n"
         "  --type T              hitag1 hitag2 hitags hitagmu ata5555 ata5577 em4305 em4450 sic7888\n"
         "  --start-block N --bytes N --format dec|hex|none --display binary|ascii\n"
         "  --orientation normal|reversed --value TEXT --auto-increment on|off\n"
         "  --leading-zeros on|off --extra-text on|off\n"
         "  --import FILE [--import-line N] | --no-import   values from a data file; the file\n"
         "                        the store names continues at its position, another starts at\n"
         "                        line 1 (or N)\n"
         "  --password HEX --tag-password HEX --password-active on|off --read-with-password on|off\n"
         "  --auth-key HEX --auth on|off --lock on|off --read-after-write on|off\n"
         "  --read-protect A-B --write-protect A-B --autoread A-B --modulation N\n"
         "  --log FILE --log-reads FILE --no-log --cycle-time MS --beep-time MS\n"
         "\n"
         "Exit codes:\n"
         "  0    success\n"
         "  1    a write or read failed, or a file could not be written\n"
         "  2    bad arguments (unknown option, bad number, missing settings or import file,\n"
         "       unwritable protocol file)\n"
         "  3    no reader (cannot open, no answer, unsuitable device, reader lost or answering\n"
         "       too late mid-cycle), or the shared job store cannot be reached or gives no value\n"
         "  4    the job fails its check\n"
         "  5    another process runs the stored job (the message names it)\n"
         "  130  interrupted by SIGINT, SIGTERM or SIGHUP; on Windows by Ctrl+C, Ctrl+Break or the\n"
         "       console closing (after finishing the current step)\n";
}

}  // namespace tw::cli

namespace {

bool FileExists(const std::string& path) {
  FileStat st;
  return StatFile(path, st) && st.regular;
}

void ChooseLanguage(const CliOptions& o, ISettingsView& store) {
  if (o.lang == "en")
    SetLanguage(Language::English);
  else if (o.lang == "de")
    SetLanguage(Language::German);
  else
    SetLanguage(store.GetProfileInt(settings::kSettings, settings::kSprache, 0) > 0 ? Language::English
                                                                                    : Language::German);
}

// The job: stored (with the progress the store holds now, journal included), then a settings
// file, then the options. stored: the progress as loaded, before file and options. Exit code.
int LoadJob(const CliOptions& o, ISettingsStore& store, JobParams& job, CliOutput& out,
            JobProgress* stored = nullptr) {
  LoadSettings(job, store);
  if (&store == &UserSettings()) {
    JobProgress p;
    std::string why;
    if (!UserReservations().ReadProgress(p, why)) {
      out.Error(kExitFailed, FormatString(kMsgProgressUnreadable, why.c_str()));
      return kExitFailed;
    }
    ApplyProgress(job, p);
  }
  if (stored != nullptr) *stored = ProgressOf(job);
  const TimingSettings t = LoadTimingSettings(store);
  job.cycleTime = static_cast<int>(t.cycleTime);
  job.beepTime = static_cast<int>(t.beepTime);
  if (!o.settingsFile.empty()) {
    if (!FileExists(o.settingsFile)) {
      out.Error(kExitBadArguments, "settings file '" + o.settingsFile + "' does not exist");
      return kExitBadArguments;
    }
    std::string why;
    if (!ImportSettingsFile(job, o.settingsFile, &why)) {
      out.Error(kExitBadArguments, "settings file '" + o.settingsFile + "' cannot be used: " + why);
      return kExitBadArguments;
    }
  }
  std::string error;
  if (!ApplyJobOptions(o.jobOptions, job, error)) {
    out.Error(kExitBadArguments, error);
    return kExitBadArguments;
  }
  return kExitOk;
}

std::vector<std::pair<std::string, std::string>> JobFields(const JobParams& j) {
  namespace k = settings;
  auto n = [](long v) { return std::to_string(v); };
  return {
      {k::kTranspondertyp, TypeNameFromCode(j.transponderType)},
      {k::kStartblock, n(j.startBlock)},
      {k::kByteanzahl, n(j.byteCount)},
      {k::kZahlenformat, n(j.numberFormat)},
      {k::kDarstellung, n(j.display)},
      {k::kAusrichtung, n(j.orientation)},
      {k::kWert, j.valueText},
      {k::kAutoIncrement, n(j.autoIncrement)},
      {k::kAutoNull, n(j.leadingZeros)},
      {k::kPrefixZulassen, n(j.allowExtraText)},
      {k::kDatenImport, n(j.importData)},
      {k::kDatenFile, Utf8ToCp1252(j.importFile)},
      {k::kDatenLinesUsed, n(j.importLinesUsed)},
      {k::kPasswort, j.password},
      {k::kTagPasswort, j.tagPassword},
      {k::kPasswortAktiv, n(j.passwordActive)},
      {k::kReadProtect, n(j.readWithPassword)},
      {k::kAuthKey, j.authKey},
      {k::kAuthAktiv, n(j.authMode)},
      {k::kLockAktiv, n(j.lockUsedBlocks)},
      {k::kReadAfterWriteAktiv, n(j.readAfterWrite)},
      {k::kModulationsart, n(j.modulation)},
      {k::kReadProtectFirst, n(j.readProtectFirst)},
      {k::kReadProtectLast, n(j.readProtectLast)},
      {k::kWriteProtectFirst, n(j.writeProtectFirst)},
      {k::kWriteProtectLast, n(j.writeProtectLast)},
      {k::kAutoreadFirst, n(j.autoreadFirst)},
      {k::kAutoreadLast, n(j.autoreadLast)},
      {k::kLogFileEnableSchreiben, n(j.logWrites)},
      {k::kLogFileNameSchreiben, Utf8ToCp1252(j.writeLogFile)},
      {k::kLogFileEnableLesen, n(j.logReads)},
      {k::kLogFileNameLesen, Utf8ToCp1252(j.readLogFile)},
      {k::kZyklusZeit, n(j.cycleTime)},
      {k::kBeepTime, n(j.beepTime)},
  };
}

// Takes the stored job as its only writer; exit code (kExitJobBusy names the other process).
int TakeJob(CReservationStore& reservations, CliOutput& out) {
  std::string message;
  switch (reservations.Open("tagwright-cli", message)) {
    case StoreResult::Ok:
      return kExitOk;
    case StoreResult::Busy:
      out.Error(kExitJobBusy, FormatString(kMsgJobBusy, message.c_str()));
      return kExitJobBusy;
    default:
      out.Error(kExitFailed, FormatString(kMsgProgressUnreadable, message.c_str()));
      return kExitFailed;
  }
}

std::string TimeText(int64_t t) {
  char when[32] = "";
  const std::time_t tt = static_cast<std::time_t>(t);
  std::tm local{};
  if (LocalTime(tt, &local)) std::strftime(when, sizeof when, "%d.%m.%Y %H:%M:%S", &local);
  return when;
}

int JobCommand(const CliOptions& o, ISettingsStore& store, CliOutput& out) {
  const std::string sub = o.positional.empty() ? "show" : o.positional[0];
  JobParams job;
  // Changing the stored job is writing it: only while no other process runs it, and loaded under
  // that lock so that nothing older than the store holds is written back.
  CReservationStore& reservations = UserReservations();
  const bool sharedJob = ChooseStore(o, store).Shared() && (sub == "show" || sub == "set" || sub == "import");
  if (!sharedJob && (sub == "import" || sub == "set")) {
    if (const int code = TakeJob(reservations, out); code != kExitOk) return code;
  }
  if (sub == "import") {
    // The file replaces the job fields; options given as well apply on top of it.
    if (o.positional.size() != 2) {
      out.Error(kExitBadArguments, "job import needs a settings file");
      return kExitBadArguments;
    }
    CliOptions withFile = o;
    withFile.settingsFile = o.positional[1];
    if (const int code = LoadJob(withFile, store, job, out); code != kExitOk) return code;
  } else if (const int code = LoadJob(o, store, job, out); code != kExitOk) {
    return code;
  }
  if (const StoreChoice shared = ChooseStore(o, store);
      shared.Shared() && (sub == "show" || sub == "set" || sub == "import")) {
    if (sub == "show" && o.positional.size() > 1) {
      out.Error(kExitBadArguments, "job show takes no file");
      return kExitBadArguments;
    }
    return SharedJobCommand(sub, o, shared, job, out);
  }
  if (sub == "show") {
    if (o.positional.size() > 1) {
      out.Error(kExitBadArguments, "job show takes no file");
      return kExitBadArguments;
    }
    out.Object("job", JobFields(job));
    // Reservations not settled: open ones (a run under way, or one that died) and spent ones (the
    // tag may hold the value without a protocol line).
    std::vector<Reservation> list;
    std::string why;
    if (!reservations.ListReservations(list, why)) {
      out.Error(kExitFailed, FormatString(kMsgProgressUnreadable, why.c_str()));
      return kExitFailed;
    }
    for (const Reservation& r : list)
      out.Object("reservation", {{"id", std::to_string(r.id)},
                                 {"state", r.state == ReservationState::Spent ? "spent" : "open"},
                                 {"value", r.taken.value},
                                 {"line", r.taken.importData ? std::to_string(r.taken.importLinesUsed) : ""},
                                 {"uid", r.uid},
                                 {"time", TimeText(r.time)},
                                 {"owner", r.owner}});
    return kExitOk;
  }
  if (sub == "export") {
    if (o.positional.size() != 2) {
      out.Error(kExitBadArguments, "job export needs a settings file");
      return kExitBadArguments;
    }
    if (!ExportSettingsFile(job, o.positional[1])) {
      out.Error(kExitFailed, "settings file '" + o.positional[1] + "' could not be written");
      return kExitFailed;
    }
    return kExitOk;
  }
  if (sub == "import" || sub == "set") {
    if (sub == "set" && o.positional.size() != 1) {
      out.Error(kExitBadArguments, "job set takes options only");
      return kExitBadArguments;
    }
    // Options that belong to one run (interface, cycle, simulation) would be dropped silently.
    for (const std::string& name : o.generalOptions) {
      if (name != "json" && name != "lang" && name != "settings") {
        out.Error(kExitBadArguments,
                  "job " + sub + " does not store --" + name + " (it applies to a run only)");
        return kExitBadArguments;
      }
    }
    bool timing = false;
    for (const auto& option : o.jobOptions)
      timing |= option.first == "cycle-time" || option.first == "beep-time";
    if (!SaveSettings(job, store) || !reservations.Close() ||
        (timing && !SaveTimingSettings(
                       store, {static_cast<unsigned>(job.cycleTime), static_cast<unsigned>(job.beepTime)}))) {
      out.Error(kExitFailed, "the settings store could not be written");
      return kExitFailed;
    }
    return kExitOk;
  }
  out.Error(kExitBadArguments, "unknown job command '" + sub + "' (show, export, import, set)");
  return kExitBadArguments;
}

std::vector<std::string> SplitList(const std::vector<char>& buf, int used) {
  std::vector<std::string> out;
  if (used <= 0) return out;
  size_t i = 0;
  const size_t end = std::min(buf.size(), static_cast<size_t>(used));
  while (i < end && buf[i] != '\0') {
    const size_t len = strnlen(&buf[i], end - i);
    out.emplace_back(&buf[i], len);
    i += len + 1;
  }
  return out;
}

std::vector<std::string> List(int (*fn)(char*, int)) {
  std::vector<char> buf(8192, '\0');
  return SplitList(buf, fn(buf.data(), static_cast<int>(buf.size())));
}

int PortsCommand(const CliOptions& o, CliOutput& out) {
  struct Kind {
    const char* name;
    int (*fn)(char*, int);
  };
  const Kind kinds[] = {
      {"serial", LF_EnumSerialPorts}, {"usb", LF_EnumUsbPorts}, {"lan", LF_SearchLanReaders}};
  std::vector<std::vector<std::string>> rows;
  for (const Kind& k : kinds) {
    if (o.noLan && k.fn == LF_SearchLanReaders) continue;
    for (const std::string& e : List(k.fn)) {
      if (out.Json())
        out.Object("port", {{"kind", k.name}, {"name", e}});
      else
        rows.push_back({k.name, e});
    }
  }
  if (!out.Json()) out.Table({"KIND", "NAME"}, rows);
  if (const int missing = LF_GetMissingUsbDrivers(); missing != 0)
    out.Object("drivers", {{"missing", std::to_string(missing)}});
  return kExitOk;
}

int LanCommand(const CliOptions& o, CliOutput& out) {
  const std::string sub = o.positional.empty() ? "search" : o.positional[0];
  if (sub == "search") {
    // The search is bounded; a stop signal that came meanwhile ends the program after it.
    for (const std::string& e : List(LF_SearchLanReaders)) out.Object("lan", {{"name", e}});
    if (WaitForSignal(0) != 0) {
      out.Error(kExitInterrupted, "interrupted");
      return kExitInterrupted;
    }
    return kExitOk;
  }
  if (o.positional.size() != 2) {
    out.Error(kExitBadArguments, "lan " + sub + " needs a device name");
    return kExitBadArguments;
  }
  const std::string& device = o.positional[1];
  if (sub == "show") {
    char name[64] = {}, address[64] = {}, mask[64] = {}, gateway[64] = {};
    if (LF_GetLanDeviceInfo(device.c_str(), name, address, mask, gateway) != 0) {
      out.Error(kExitNoReader, "LAN device " + device + " does not answer");
      return kExitNoReader;
    }
    out.Object("lan", {{"name", name}, {"address", address}, {"netmask", mask}, {"gateway", gateway}});
    return kExitOk;
  }
  if (sub == "set") {
    // What is not given stays as it is; what is given must be an address, or nothing is sent.
    if (o.lanAddress.empty() && o.lanNetMask.empty() && o.lanGateway.empty()) {
      out.Error(kExitBadArguments, "lan set needs --ip, --netmask or --gateway");
      return kExitBadArguments;
    }
    const struct {
      const char* option;
      const std::string& text;
      bool ok;
      const char* form;
    } given[] = {
        {"--ip", o.lanAddress, IsLanAddressText(o.lanAddress), "A.B.C.D[-PORT] or [NAME][-PORT]"},
        {"--netmask", o.lanNetMask, IsDottedQuad(o.lanNetMask), "A.B.C.D"},
        {"--gateway", o.lanGateway, IsDottedQuad(o.lanGateway), "A.B.C.D"},
    };
    for (const auto& g : given) {
      if (g.text.empty() || g.ok) continue;
      out.Error(kExitBadArguments, std::string(g.option) + " '" + g.text +
                                       "' is not an address: four numbers 0-255 separated by dots (" +
                                       g.form + ")");
      return kExitBadArguments;
    }
    const int r = LF_SetLanDeviceConfig(device.c_str(), o.lanAddress.c_str(), o.lanNetMask.c_str(),
                                        o.lanGateway.c_str());
    if (r != 0) {
      out.Error(r < -1 ? kExitNoReader : kExitFailed, "LAN device " + device + " was not changed");
      return r < -1 ? kExitNoReader : kExitFailed;
    }
    return kExitOk;
  }
  out.Error(kExitBadArguments, "unknown lan command '" + sub + "' (search, show, set)");
  return kExitBadArguments;
}

class RunTimers : public ICycleTimers {
 public:
  // The runner sends the ticks itself.
  int StartTimer(int id, int) override { return id; }
  void KillTimer(int) override {}
};

// Where the demo keeps its protocol: beside the programs in a build folder; in the user's cache
// folder for an installed program, whose folders an operator cannot write.
std::string DemoDir() {
  const std::string exeDir = ProgramDir();
  if (!IsInstalledProgramDir(exeDir)) {
    const std::string dir = exeDir + "/../demo";
    MakeFolder(dir, 0755);
    return dir;
  }
  std::string base;
  if (const char* cache = getenv("XDG_CACHE_HOME"); cache && *cache == '/')
    base = cache;
  else if (const char* home = getenv("HOME"); home && *home)
    base = std::string(home) + "/.cache";
  else
    base = "/tmp";
  MakeFolder(base, 0700);
  base += "/tagwright";
  MakeFolder(base, 0700);
  MakeFolder(base + "/demo", 0700);
  return base + "/demo";
}

void PrintFile(const std::string& path, CliOutput& out) {
  std::ifstream in(path, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out.Info(line);
  }
}

// write, read, identify and demo: everything that needs a reader.
int ReaderCommand(const CliOptions& o, ISettingsStore& userStore, CliOutput& out) {
  const bool demo = o.command == "demo";
  if (o.simulate || demo) {
    // Refused before the job is taken or anything is written.
    if (const std::string why = SimulatedReader::WhyUnavailable(); !why.empty()) {
      out.Error(kExitBadArguments, why);
      return kExitBadArguments;
    }
  }
  MemorySettingsStore demoStore;
  ISettingsStore& store = demo ? static_cast<ISettingsStore&>(demoStore) : userStore;
  JobParams job;
  JobProgress stored;
  std::string protocol;
  // One job, one writer: the stored job is taken before any reader traffic, and given up (its
  // progress kept for good) when the run ends.
  const bool run = o.command == "write" || o.command == "read";
  // A job shared by several stations lives in the shared store, which hands out its values: no
  // store, no write.
  const StoreChoice shared = run ? ChooseStore(o, store) : StoreChoice{};
  SharedJobRun sharedRun;
  CReservationStore* reservations = nullptr;
  if (shared.Shared()) {
    if (const int code = LoadJob(o, store, job, out, &stored); code != kExitOk) return code;
    if (const int code = sharedRun.Prepare(o, shared, job, out); code != kExitOk) return code;
    if (sharedRun.NothingLeft() && o.command == "write") {
      out.End("write", 0, kExitOk, "import exhausted");
      return kExitOk;
    }
    reservations = sharedRun.Store();
    if (!out.Json()) out.Info(FormatString(33303, shared.job.c_str(), sharedRun.Describe().c_str()));
    std::string why;
    const StoreResult taken = reservations->Open("tagwright-cli", why);
    if (taken == StoreResult::Busy) {
      out.Error(kExitJobBusy, FormatString(kMsgJobBusy, why.c_str()));
      return kExitJobBusy;
    }
    if (taken != StoreResult::Ok) {
      out.Error(kExitNoReader, FormatString(33301, why.c_str()));
      return kExitNoReader;
    }
  } else if (run && !o.noSave) {
    reservations = &UserReservations();
    if (const int code = TakeJob(*reservations, out); code != kExitOk) return code;
  }
  if (demo) {
    // A job of its own, so that the demo never changes what the operator set up.
    job.transponderType = kTypeHitagS;
    job.startBlock = FirstBlock(job.transponderType);
    job.valueText = "1000";
    job.beepTime = 0;
    job.cycleTime = 100;
    std::string error;
    if (!ApplyJobOptions(o.jobOptions, job, error)) {
      out.Error(kExitBadArguments, error);
      return kExitBadArguments;
    }
    if (job.startBlock < FirstBlock(job.transponderType)) job.startBlock = FirstBlock(job.transponderType);
    protocol = o.protocol;
    if (protocol.empty()) {
      protocol = DemoDir() + "/Protokoll_S.txt";
    }
    unlink(protocol.c_str());  // the demo's own file: each run starts a fresh protocol
    job.logWrites = 1;
    job.writeLogFile = protocol;
  } else if (!shared.Shared()) {
    if (const int code = LoadJob(o, store, job, out, &stored); code != kExitOk) return code;
  }

  SimulatedReader sim;
  PortChoice port = ChoosePort(o, store);
  if (o.simulate || demo) {
    std::string error;
    if (!sim.Start(job.transponderType, o.simFeedMs, o.simVersion, o.simTrace, error)) {
      out.Error(kExitNoReader, error);
      return kExitNoReader;
    }
    port.name = sim.PtyPath();
    port.baudSetting = 19200;
    port.timeoutMs = 500;
    out.Info(
        FormatString(33009, port.name.c_str(), TypeNameFromCode(job.transponderType).c_str(), o.simFeedMs));
  }

  ReaderInfo reader;
  std::string message;
  const bool identify = o.command == "identify";
  if (const int code = OpenReader(port, !identify, reader, message); code != kExitOk) {
    out.Error(code, message);
    return code;
  }
  if (identify) {
    unsigned char id[4] = {};
    const bool haveId = LF_ReadReaderId(reader.handle, id, sizeof id) == 4;
    const unsigned idValue = id[0] | id[1] << 8 | id[2] << 16 | static_cast<unsigned>(id[3]) << 24;
    char code[16];
    std::snprintf(code, sizeof code, "%03X", reader.deviceCode < 0 ? 0 : reader.deviceCode);
    out.Object("reader", {{"interface", port.name},
                          {"model", reader.model},
                          {"version", reader.raw},
                          {"code", code},
                          {"firmware", reader.firmware},
                          {"write", reader.canWrite ? "1" : "0"},
                          {"usb", reader.usb ? "1" : "0"},
                          {"readerId", haveId ? std::to_string(idValue) : ""},
                          {"modulation", std::to_string(LF_GetModulation(reader.handle))}});
    LF_ClosePort(reader.handle);
    return kExitOk;
  }
  if (!out.Json())
    out.Info(FormatString(33013, reader.model.c_str(), reader.firmware.c_str(), port.name.c_str()));

  CliView view(out);
  RunTimers timers;
  JobEngine engine(job, view, timers);
  engine.SetPortHandle(reader.handle);
  if (shared.Shared()) {
    sharedRun.SetReader(reader.model + " " + port.name);
    engine.SetReservationStore(reservations, "tagwright-cli");
  } else if (reservations != nullptr) {
    // The fields as stored are the progress nobody changed; options that changed it are stored
    // when the run takes the job.
    const JobProgress given = ProgressOf(job);
    ApplyProgress(job, stored);
    engine.SetReservationStore(reservations, "tagwright-cli");
    ApplyProgress(job, given);
  }
  ApplyTypeLayout(job, view);

  CliOptions runOptions = o;
  if (demo && runOptions.count == 0) runOptions.count = 10;
  RunContext ctx{runOptions, job, out, view, engine, port.timeoutMs};
  int code = o.command == "read" ? RunRead(ctx) : RunWrite(ctx);
  LF_ClosePort(reader.handle);
  if (reservations != nullptr && !reservations->Close() && code == kExitOk) {
    out.Error(kExitFailed, LoadString(kMsgProgressNotSaved));
    code = kExitFailed;
  }
  if (demo) {
    out.Info(FormatString(33010, protocol.c_str()));
    PrintFile(protocol, out);
  }
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  // Before any thread starts: the stop signals are taken between steps only (cli_run.h).
  BlockStopSignals();

  CliOptions options;
  std::string error;
  std::vector<std::string> args = ConsoleArguments(argc, argv);
  std::vector<char*> argPtrs;
  for (std::string& a : args) argPtrs.push_back(a.data());
  argPtrs.push_back(nullptr);
  const bool parsed = ParseCommandLine(argc, argPtrs.data(), options, error);
  CliOutput out(options.json);
  if (!parsed) {
    out.Error(kExitBadArguments, error + " (see --help)");
    return kExitBadArguments;
  }
  if (options.help || options.command == "help") {
    std::fputs(UsageText(), stdout);
    return kExitOk;
  }
  if (options.command.empty()) {
    std::fputs(UsageText(), stderr);
    return kExitBadArguments;
  }
  ISettingsStore& store = UserSettings();
  ChooseLanguage(options, store);

  const std::string& c = options.command;
  if (c == "job") return JobCommand(options, store, out);
  if (c == "ports") return PortsCommand(options, out);
  if (c == "lan") return LanCommand(options, out);
  if (c == "store") return StoreCommand(options, store, out);
  if (c == "protocol") return ProtocolCommand(options, store, out);
  if (c == "write" || c == "read" || c == "identify" || c == "demo") {
    if (!options.positional.empty()) {
      out.Error(kExitBadArguments, "unexpected argument '" + options.positional[0] + "'");
      return kExitBadArguments;
    }
    return ReaderCommand(options, store, out);
  }
  out.Error(kExitBadArguments, "unknown command '" + c + "' (see --help)");
  return kExitBadArguments;
}
