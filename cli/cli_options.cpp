#include "cli/cli_options.h"

#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <set>

#include "platform/cp1252.h"

namespace tw::cli {
namespace {

// Job options that take a value; every one of them is also accepted as --name=value.
const std::set<std::string>& JobValueOptions() {
  static const std::set<std::string> names = {"type",
                                              "start-block",
                                              "bytes",
                                              "format",
                                              "display",
                                              "orientation",
                                              "value",
                                              "auto-increment",
                                              "leading-zeros",
                                              "extra-text",
                                              "import",
                                              "import-line",
                                              "password",
                                              "tag-password",
                                              "password-active",
                                              "read-with-password",
                                              "auth-key",
                                              "auth",
                                              "lock",
                                              "read-after-write",
                                              "read-protect",
                                              "write-protect",
                                              "autoread",
                                              "modulation",
                                              "log",
                                              "log-reads",
                                              "cycle-time",
                                              "beep-time"};
  return names;
}
// Job options without a value.
const std::set<std::string>& JobFlagOptions() {
  static const std::set<std::string> names = {"no-import", "no-log"};
  return names;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool ParseFlag(const std::string& text, int& out) {
  const std::string t = Lower(text);
  if (t == "1" || t == "on" || t == "yes" || t == "true") {
    out = 1;
    return true;
  }
  if (t == "0" || t == "off" || t == "no" || t == "false") {
    out = 0;
    return true;
  }
  return false;
}

// "A-B" (or a single "A" for A-A) with both ends in 0-255.
bool ParseRange(const std::string& text, uint32_t& first, uint32_t& last) {
  const size_t dash = text.find('-');
  long a = 0, b = 0;
  if (dash == std::string::npos) {
    if (!ParseNumber(text, 0, kRangeFieldMax, a)) return false;
    b = a;
  } else if (!ParseNumber(text.substr(0, dash), 0, kRangeFieldMax, a) ||
             !ParseNumber(text.substr(dash + 1), 0, kRangeFieldMax, b)) {
    return false;
  }
  first = static_cast<uint32_t>(a);
  last = static_cast<uint32_t>(b);
  return true;
}

bool ApplyOne(const std::string& name, const std::string& v, JobParams& job, std::string& why) {
  long n = 0;
  int flag = 0;
  // The settings keep paths in Windows-1252: a name it cannot hold would be lost later.
  if ((name == "log" || name == "log-reads" || name == "import") && !Cp1252CanHold(v))
    return why = "a file name whose characters Windows-1252 can hold", false;
  if (name == "type") {
    const int code = ParseTypeName(v);
    if (code == 0) {
      why = "a transponder type (hitag1 hitag2 hitags hitagmu ata5555 ata5577 em4305 em4450 sic7888)";
      return false;
    }
    job.transponderType = code;
  } else if (name == "start-block") {
    if (!ParseNumber(v, 0, 255, n)) return why = "a block number 0-255", false;
    job.startBlock = static_cast<int>(n);
  } else if (name == "bytes") {
    if (!ParseNumber(v, 1, 4096, n)) return why = "a byte count 1-4096", false;
    job.byteCount = static_cast<int>(n);
  } else if (name == "format") {
    const std::string t = Lower(v);
    if (t == "dec" || t == "decimal")
      job.numberFormat = kFormatDecimal;
    else if (t == "hex")
      job.numberFormat = kFormatHex;
    else if (t == "none")
      job.numberFormat = kFormatNone;
    else
      return why = "dec, hex or none", false;
  } else if (name == "display") {
    const std::string t = Lower(v);
    if (t == "binary")
      job.display = kDisplayBinary;
    else if (t == "ascii")
      job.display = kDisplayAscii;
    else
      return why = "binary or ascii", false;
  } else if (name == "orientation") {
    const std::string t = Lower(v);
    if (t == "normal")
      job.orientation = kOrientationNormal;
    else if (t == "reversed" || t == "rotated")
      job.orientation = kOrientationRotated;
    else
      return why = "normal or reversed", false;
  } else if (name == "value") {
    job.valueText = Utf8ToCp1252(v);
  } else if (name == "import") {
    if (v.empty()) return why = "a file name", false;
    // The same file as stored continues where it stopped; another file starts at line 1. The
    // stored name is absolute, so a relative name is made absolute before they are compared.
    std::string path = v;
    if (path[0] != '/') {
      char cwd[4096];
      if (::getcwd(cwd, sizeof cwd) != nullptr) path = std::string(cwd) + "/" + path;
    }
    const bool same = job.importData != 0 && job.importFile == path;
    // Values from the file replace counting.
    job.importData = 1;
    job.autoIncrement = 0;
    job.importFile = path;
    if (!same) job.importLinesUsed = 0;
  } else if (name == "no-import") {
    job.importData = 0;
  } else if (name == "import-line") {
    if (!ParseNumber(v, 0, 2147483646, n)) return why = "a line number", false;
    job.importLinesUsed = static_cast<int>(n);
  } else if (name == "password" || name == "tag-password" || name == "auth-key") {
    const size_t max = name == "password"       ? kPasswordMaxChars
                       : name == "tag-password" ? kTagPasswordMaxChars
                                                : kAuthKeyMaxChars;
    if (v.size() > max || !IsHexText(v)) return why = "at most " + std::to_string(max) + " hex digits", false;
    (name == "password" ? job.password : name == "tag-password" ? job.tagPassword : job.authKey) = v;
  } else if (name == "read-protect" || name == "write-protect" || name == "autoread") {
    uint32_t a = 0, b = 0;
    if (!ParseRange(v, a, b)) return why = "a range A-B with A and B in 0-255", false;
    uint32_t& first = name == "read-protect"    ? job.readProtectFirst
                      : name == "write-protect" ? job.writeProtectFirst
                                                : job.autoreadFirst;
    uint32_t& last = name == "read-protect"    ? job.readProtectLast
                     : name == "write-protect" ? job.writeProtectLast
                                               : job.autoreadLast;
    first = a;
    last = b;
  } else if (name == "modulation") {
    if (ParseNumber(v, 0, kModulationCount - 1, n)) {
      job.modulation = static_cast<int>(n);
    } else {
      int found = -1;
      for (int i = 0; i < kModulationCount; ++i)
        if (Lower(ModulationName(i)) == Lower(v)) found = i;
      if (found < 0) return why = "a modulation index 0-3 or its name", false;
      job.modulation = found;
    }
  } else if (name == "log") {
    if (v.empty()) return why = "a file name", false;
    job.logWrites = 1;
    job.writeLogFile = v;
  } else if (name == "log-reads") {
    if (v.empty()) return why = "a file name", false;
    job.logReads = 1;
    job.readLogFile = v;
  } else if (name == "no-log") {
    job.logWrites = 0;
    job.logReads = 0;
  } else if (name == "cycle-time") {
    if (!ParseNumber(v, 100, 10000, n)) return why = "milliseconds 100-10000", false;
    job.cycleTime = static_cast<int>(n);
  } else if (name == "beep-time") {
    if (!ParseNumber(v, 0, 1000, n)) return why = "milliseconds 0-1000", false;
    job.beepTime = static_cast<int>(n);
  } else {
    // The on/off fields.
    if (!ParseFlag(v, flag)) return why = "on or off", false;
    if (name == "auto-increment")
      job.autoIncrement = flag;
    else if (name == "leading-zeros")
      job.leadingZeros = flag;
    else if (name == "extra-text")
      job.allowExtraText = flag;
    else if (name == "password-active")
      job.passwordActive = flag;
    else if (name == "read-with-password")
      job.readWithPassword = flag;
    else if (name == "auth")
      job.authMode = flag;
    else if (name == "lock")
      job.lockUsedBlocks = flag;
    else if (name == "read-after-write")
      job.readAfterWrite = flag;
    else
      return why = "an option this program does not know", false;
  }
  return true;
}

}  // namespace

bool ParseNumber(const std::string& text, long min, long max, long& value) {
  if (text.empty() || text.size() > 18) return false;
  for (char c : text)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  errno = 0;
  const long long v = std::strtoll(text.c_str(), nullptr, 10);
  if (errno != 0 || v < min || v > max) return false;
  value = static_cast<long>(v);
  return true;
}

int ParseTypeName(const std::string& text) {
  long code = 0;
  if (ParseNumber(text, 0, 255, code))
    return FindTransponderType(static_cast<int>(code)) ? static_cast<int>(code) : 0;
  // Compare without spaces and case; "µ" may come as UTF-8, Latin-1 or "mu".
  auto squash = [](const std::string& s) {
    std::string out;
    for (char c : Cp1252Upper(Utf8ToCp1252(s)))
      if (c != ' ' && c != '(' && c != ')') out += c;
    const size_t mu = out.find('\xB5');
    if (mu != std::string::npos) out.replace(mu, 1, "MU");
    return out;
  };
  const std::string want = squash(text);
  if (want == "Q5") return kTypeAta5555;
  if (want == "TITAN") return kTypeEm4450;
  for (int i = 0; i < kTransponderTypeCount; ++i) {
    const TransponderTypeInfo& t = TransponderTypes()[i];
    std::string name = squash(t.name);
    // "ATA5555 (Q5)" and the like: the part before the bracket also names the type.
    if (want == name || (name.rfind(want, 0) == 0 && want.size() >= 6)) return t.code;
  }
  return 0;
}

bool ApplyJobOptions(const std::vector<std::pair<std::string, std::string>>& options, JobParams& job,
                     std::string& error) {
  for (const auto& [name, value] : options) {
    std::string why;
    if (!ApplyOne(name, value, job, why)) {
      error = "--" + name + (value.empty() ? "" : " '" + value + "'") + ": expected " + why;
      return false;
    }
  }
  return true;
}

bool ParseCommandLine(int argc, char** argv, CliOptions& out, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg.size() < 2 || arg[0] != '-' || arg == "-") {
      if (out.command.empty())
        out.command = arg;
      else
        out.positional.push_back(arg);
      continue;
    }
    if (arg == "-h" || arg == "--help") {
      out.help = true;
      continue;
    }
    if (arg.rfind("--", 0) != 0) {
      error = "unknown option " + arg;
      return false;
    }
    std::string name = arg.substr(2), value;
    bool hasValue = false;
    if (const size_t eq = name.find('='); eq != std::string::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
      hasValue = true;
    }
    auto take = [&](std::string& into) {
      if (!hasValue) {
        if (i + 1 >= argc) {
          error = "--" + name + " needs a value";
          return false;
        }
        value = argv[++i];
      }
      into = value;
      return true;
    };
    auto takeNumber = [&](long min, long max, long& v) {
      std::string text;
      if (!take(text)) return false;
      if (!ParseNumber(text, min, max, v)) {
        error = "--" + name + " '" + text + "': expected a number " + std::to_string(min) + "-" +
                std::to_string(max);
        return false;
      }
      return true;
    };
    auto noValue = [&]() {
      if (hasValue) error = "--" + name + " takes no value";
      return !hasValue;
    };
    long n = 0;
    if (!JobFlagOptions().count(name) && !JobValueOptions().count(name)) out.generalOptions.push_back(name);
    if (name == "json") {
      if (!noValue()) return false;
      out.json = true;
    } else if (name == "cycle") {
      if (!noValue()) return false;
      out.cycle = true;
    } else if (name == "simulate") {
      if (!noValue()) return false;
      out.simulate = true;
    } else if (name == "no-lan") {
      if (!noValue()) return false;
      out.noLan = true;
    } else if (name == "no-save") {
      if (!noValue()) return false;
      out.noSave = true;
    } else if (name == "lang") {
      if (!take(out.lang)) return false;
      out.lang = Lower(out.lang);
      if (out.lang != "de" && out.lang != "en") {
        error = "--lang '" + value + "': expected de or en";
        return false;
      }
    } else if (name == "port") {
      if (!take(out.port)) return false;
      if (out.port.empty()) {
        error = "--port needs a name";
        return false;
      }
    } else if (name == "address") {
      if (!takeNumber(1, 255, n)) return false;
      out.address = static_cast<int>(n);
    } else if (name == "baud") {
      if (!takeNumber(300, 4000000, n)) return false;
      out.baud = static_cast<int>(n);
    } else if (name == "timeout") {
      if (!takeNumber(10, 300000, n)) return false;
      out.timeoutMs = static_cast<int>(n);
    } else if (name == "count") {
      if (!takeNumber(1, 1000000000, n)) return false;
      out.count = n;
    } else if (name == "settings") {
      if (!take(out.settingsFile)) return false;
    } else if (name == "sim-feed") {
      if (!takeNumber(1, 86400000, n)) return false;
      out.simFeedMs = static_cast<int>(n);
    } else if (name == "sim-version") {
      if (!take(out.simVersion)) return false;
    } else if (name == "sim-trace") {
      if (!take(out.simTrace)) return false;
    } else if (name == "protocol") {
      if (!take(out.protocol)) return false;
    } else if (name == "store") {
      if (!take(out.store)) return false;
      if (out.store.empty()) {
        error = "--store needs a connection string (postgresql://host/database)";
        return false;
      }
    } else if (name == "job") {
      if (!take(out.jobName)) return false;
      if (out.jobName.empty()) {
        error = "--job needs a name";
        return false;
      }
    } else if (name == "station") {
      if (!take(out.station)) return false;
    } else if (name == "each-tag-once") {
      std::string v;
      if (!take(v)) return false;
      int flag = 0;
      if (!ParseFlag(v, flag)) {
        error = "--each-tag-once '" + v + "': expected on or off";
        return false;
      }
      out.eachTagOnce = flag;
    } else if (name == "ip") {
      if (!take(out.lanAddress)) return false;
    } else if (name == "netmask") {
      if (!take(out.lanNetMask)) return false;
    } else if (name == "gateway") {
      if (!take(out.lanGateway)) return false;
    } else if (JobFlagOptions().count(name)) {
      if (!noValue()) return false;
      out.jobOptions.emplace_back(name, "");
    } else if (JobValueOptions().count(name)) {
      std::string v;
      if (!take(v)) return false;
      out.jobOptions.emplace_back(name, v);
    } else {
      error = "unknown option --" + name;
      return false;
    }
  }
  // Check the job options now, so that a typo fails before any reader or file is touched.
  JobParams scratch;
  return ApplyJobOptions(out.jobOptions, scratch, error);
}

}  // namespace tw::cli
