#include "job/job_settings.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <tuple>
#include <vector>

#include "job/job_view.h"
#include "job/type_layout.h"
#include "platform/cp1252.h"
#include "shell/atomic_file.h"
#include "shell/documents_dir.h"
#include "shell/file_prims.h"
#include "shell/ini_ex.h"
#include "shell/settings_keys.h"

namespace tw {
namespace {

namespace k = settings;

// Radio groups and the modulation combo hold an index; a hand-edited value outside the choices
// would leave no button checked, so it reads as the key's default.
int Choice(int value, int count, int def) { return value >= 0 && value < count ? value : def; }

// The fields shared by the store and settings files, read through any source with the profile
// functions (ISettingsView or CIniEx). Defaults that differ are passed in.
template <typename Source>
void ReadJobFields(JobParams& job, Source& src, int startBlockDefault) {
  const std::string s = k::kSettings;
  job.valueText = src.GetProfileString(s, k::kWert, "");
  job.leadingZeros = src.GetProfileInt(s, k::kAutoNull, 0);
  job.allowExtraText = src.GetProfileInt(s, k::kPrefixZulassen, 0);
  job.startBlock = src.GetProfileInt(s, k::kStartblock, startBlockDefault);
  job.byteCount = src.GetProfileInt(s, k::kByteanzahl, k::kDefaultByteanzahl);
  job.numberFormat =
      Choice(src.GetProfileInt(s, k::kZahlenformat, k::kDefaultZahlenformat), 3, k::kDefaultZahlenformat);
  job.display = Choice(src.GetProfileInt(s, k::kDarstellung, 0), 2, 0);
  job.orientation = Choice(src.GetProfileInt(s, k::kAusrichtung, 0), 2, 0);
  job.modulation = Choice(src.GetProfileInt(s, k::kModulationsart, 0), kModulationCount, 0);
  job.password = src.GetProfileString(s, k::kPasswort, k::kDefaultPasswort);
  job.tagPassword = src.GetProfileString(s, k::kTagPasswort, k::kDefaultTagPasswort);
  job.passwordActive = src.GetProfileInt(s, k::kPasswortAktiv, 0);
  job.authKey = src.GetProfileString(s, k::kAuthKey, "");
  job.authMode = src.GetProfileInt(s, k::kAuthAktiv, 0);
  job.lockUsedBlocks = src.GetProfileInt(s, k::kLockAktiv, 0);
  job.readWithPassword = src.GetProfileInt(s, k::kReadProtect, 0);
  job.readAfterWrite = src.GetProfileInt(s, k::kReadAfterWriteAktiv, 0);
  // Stored as 32-bit values; a negative one reads back as the same 32 bits (and fails the check).
  job.readProtectFirst = static_cast<uint32_t>(src.GetProfileInt(s, k::kReadProtectFirst, 0));
  job.readProtectLast = static_cast<uint32_t>(src.GetProfileInt(s, k::kReadProtectLast, 0));
  job.writeProtectFirst = static_cast<uint32_t>(src.GetProfileInt(s, k::kWriteProtectFirst, 0));
  job.writeProtectLast = static_cast<uint32_t>(src.GetProfileInt(s, k::kWriteProtectLast, 0));
  job.autoreadFirst = static_cast<uint32_t>(src.GetProfileInt(s, k::kAutoreadFirst, 0));
  job.autoreadLast = static_cast<uint32_t>(src.GetProfileInt(s, k::kAutoreadLast, 0));
}

int AsInt(uint32_t v) { return static_cast<int>(v); }

}  // namespace

void LoadSettings(JobParams& job, ISettingsView& store) {
  const std::string p = k::kProtokoll, s = k::kSettings;
  // Paths are kept as Windows-1252 text and used as the UTF-8 the file system names them by.
  job.writeLogFile = StoredTextToUtf8(
      store.GetProfileString(p, k::kLogFileNameSchreiben, Utf8ToCp1252(DefaultLogFilePath(k::kDefaultWriteLogName))));
  job.readLogFile = StoredTextToUtf8(
      store.GetProfileString(p, k::kLogFileNameLesen, Utf8ToCp1252(DefaultLogFilePath(k::kDefaultReadLogName))));
  job.logWrites = store.GetProfileInt(p, k::kLogFileEnableSchreiben, 0);
  job.logReads = store.GetProfileInt(p, k::kLogFileEnableLesen, 0);
  job.autoIncrement = store.GetProfileInt(s, k::kAutoIncrement, k::kStoreDefaultAutoIncrement);
  job.importData = store.GetProfileInt(s, k::kDatenImport, 0);
  if (job.importData) {
    job.importFile = StoredTextToUtf8(store.GetProfileString(s, k::kDatenFile, ""));
    job.importLinesUsed = store.GetProfileInt(s, k::kDatenLinesUsed, 0);
  } else {
    job.importFile.clear();
    job.importLinesUsed = 0;
  }
  job.transponderType =
      TypeCodeFromName(store.GetProfileString(s, k::kTranspondertyp, TypeNameFromCode(kTypeHitagS)));
  ReadJobFields(job, store, k::kStoreDefaultStartblock);
}

bool SaveSettings(const JobParams& job, ISettingsStore& store) {
  return store.Transaction([&job](ISettingsView& v) {
    const std::string p = k::kProtokoll, s = k::kSettings;
    v.WriteProfileInt(p, k::kLogFileEnableSchreiben, job.logWrites);
    v.WriteProfileInt(p, k::kLogFileEnableLesen, job.logReads);
    v.WriteProfileString(p, k::kLogFileNameSchreiben, Utf8ToCp1252(job.writeLogFile));
    v.WriteProfileString(p, k::kLogFileNameLesen, Utf8ToCp1252(job.readLogFile));
    v.WriteProfileInt(s, k::kAutoIncrement, job.autoIncrement);
    v.WriteProfileInt(s, k::kDatenImport, job.importData);
    v.WriteProfileString(s, k::kDatenFile, Utf8ToCp1252(job.importFile));
    v.WriteProfileInt(s, k::kDatenLinesUsed, job.importLinesUsed);
    v.WriteProfileString(s, k::kTranspondertyp, TypeNameFromCode(job.transponderType));
    v.WriteProfileString(s, k::kWert, job.valueText);
    v.WriteProfileInt(s, k::kAutoNull, job.leadingZeros);
    v.WriteProfileInt(s, k::kPrefixZulassen, job.allowExtraText);
    v.WriteProfileInt(s, k::kStartblock, job.startBlock);
    v.WriteProfileInt(s, k::kByteanzahl, job.byteCount);
    v.WriteProfileInt(s, k::kZahlenformat, job.numberFormat);
    v.WriteProfileInt(s, k::kDarstellung, job.display);
    v.WriteProfileInt(s, k::kAusrichtung, job.orientation);
    v.WriteProfileInt(s, k::kModulationsart, job.modulation);
    v.WriteProfileString(s, k::kPasswort, job.password);
    v.WriteProfileString(s, k::kTagPasswort, job.tagPassword);
    v.WriteProfileInt(s, k::kPasswortAktiv, job.passwordActive);
    v.WriteProfileString(s, k::kAuthKey, job.authKey);
    v.WriteProfileInt(s, k::kAuthAktiv, job.authMode);
    v.WriteProfileInt(s, k::kLockAktiv, job.lockUsedBlocks);
    v.WriteProfileInt(s, k::kReadProtect, job.readWithPassword);
    v.WriteProfileInt(s, k::kReadAfterWriteAktiv, job.readAfterWrite);
    v.WriteProfileInt(s, k::kReadProtectFirst, AsInt(job.readProtectFirst));
    v.WriteProfileInt(s, k::kReadProtectLast, AsInt(job.readProtectLast));
    v.WriteProfileInt(s, k::kWriteProtectFirst, AsInt(job.writeProtectFirst));
    v.WriteProfileInt(s, k::kWriteProtectLast, AsInt(job.writeProtectLast));
    v.WriteProfileInt(s, k::kAutoreadFirst, AsInt(job.autoreadFirst));
    v.WriteProfileInt(s, k::kAutoreadLast, AsInt(job.autoreadLast));
  });
}

bool SaveChangedSettings(const JobParams& job, const JobParams& loaded, ISettingsStore& store) {
  MemorySettingsStore now, before;
  SaveSettings(job, now);
  SaveSettings(loaded, before);
  const std::string progress[] = {k::kWert, k::kDatenImport, k::kDatenFile, k::kDatenLinesUsed};
  std::vector<std::tuple<std::string, std::string, std::string>> changed;
  now.ForEach([&](const std::string& section, const std::string& key, const std::string& value) {
    for (const std::string& p : progress)
      if (section == k::kSettings && key == p) return;
    if (before.GetProfileString(section, key, value + "x") != value) changed.emplace_back(section, key, value);
  });
  if (changed.empty()) return true;
  return store.Transaction([&](ISettingsView& v) {
    for (const auto& [section, key, value] : changed) v.WriteProfileString(section, key, value);
  });
}

bool SaveSettings(JobParams& job, IJobView& view, ISettingsStore& store) {
  // A field that fails its input check must not cost the operator every other setting.
  (void)view.LoadControls();
  return SaveSettings(job, store);
}

bool ExportSettingsFile(const JobParams& job, const std::string& path) {
  CPrivateProfile f(path);
  if (f.Path().empty()) return false;  // could not be opened or created
  const std::string s = k::kSettings;
  f.WriteProfileString(s, k::kTranspondertyp, TypeNameFromCode(job.transponderType));
  f.WriteProfileString(s, k::kWert, job.valueText);
  f.WriteProfileString(s, k::kPasswort, job.password);
  f.WriteProfileString(s, k::kTagPasswort, job.tagPassword);
  f.WriteProfileInt(s, k::kAutoIncrement, job.autoIncrement);
  f.WriteProfileInt(s, k::kDatenImport, job.importData);
  f.WriteProfileString(s, k::kDatenFile, Utf8ToCp1252(job.importFile));
  f.WriteProfileInt(s, k::kAutoNull, job.leadingZeros);
  f.WriteProfileInt(s, k::kPrefixZulassen, job.allowExtraText);
  f.WriteProfileInt(s, k::kStartblock, job.startBlock);
  f.WriteProfileInt(s, k::kByteanzahl, job.byteCount);
  f.WriteProfileInt(s, k::kZahlenformat, job.numberFormat);
  f.WriteProfileInt(s, k::kDarstellung, job.display);
  f.WriteProfileInt(s, k::kAusrichtung, job.orientation);
  f.WriteProfileInt(s, k::kModulationsart, job.modulation);
  f.WriteProfileInt(s, k::kPasswortAktiv, job.passwordActive);
  f.WriteProfileString(s, k::kAuthKey, job.authKey);
  f.WriteProfileInt(s, k::kAuthAktiv, job.authMode);
  f.WriteProfileInt(s, k::kLockAktiv, job.lockUsedBlocks);
  f.WriteProfileInt(s, k::kReadProtect, job.readWithPassword);
  f.WriteProfileInt(s, k::kReadAfterWriteAktiv, job.readAfterWrite);
  f.WriteProfileInt(s, k::kReadProtectFirst, AsInt(job.readProtectFirst));
  f.WriteProfileInt(s, k::kReadProtectLast, AsInt(job.readProtectLast));
  f.WriteProfileInt(s, k::kWriteProtectFirst, AsInt(job.writeProtectFirst));
  f.WriteProfileInt(s, k::kWriteProtectLast, AsInt(job.writeProtectLast));
  f.WriteProfileInt(s, k::kAutoreadFirst, AsInt(job.autoreadFirst));
  f.WriteProfileInt(s, k::kAutoreadLast, AsInt(job.autoreadLast));
  return f.Save();
}

bool ExportSettingsFile(JobParams& job, IJobView& view, const std::string& path) {
  if (!view.LoadControls()) return false;
  return ExportSettingsFile(job, path);
}

bool ImportSettingsFile(JobParams& job, const std::string& path, std::string* why) {
  std::string reason;
  std::string text;
  const int fd = OpenFile(path, O_RDONLY, 0);
  FileStat st;
  if (fd < 0) {
    reason = std::strerror(errno);
  } else if (!StatFd(fd, st) || !st.regular) {
    reason = "not a file";
  } else if (st.size > kMaxSettingsFileBytes) {
    reason = "larger than " + std::to_string(kMaxSettingsFileBytes) + " bytes";
  } else if (!ReadWholeFile(fd, text)) {
    reason = std::strerror(errno);
  } else if (text.find('\0') != std::string::npos) {
    reason = "not a text file";  // binary, or UTF-16
  }
  if (fd >= 0) CloseFile(fd);
  CIniEx f;
  if (reason.empty()) {
    f.ParseText(text);
    // The header counts even with no entry under it (a section the document keeps only with entries).
    bool found = false;
    for (size_t pos = 0; pos < text.size() && !found;) {
      const size_t end = text.find_first_of("\r\n", pos);
      std::string line = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
      while (!line.empty() && line.back() == '\t') line.pop_back();
      found = line.size() > 2 && line.front() == '[' && line.back() == ']' &&
              EqualsNoCase(line.substr(1, line.size() - 2), k::kSettings);
      pos = end == std::string::npos ? text.size() : end + 1;
    }
    if (!found) reason = "no [Settings] section";
  }
  if (!reason.empty()) {
    if (why != nullptr) *why = reason;
    return false;
  }
  const std::string s = k::kSettings;
  job.transponderType = TypeCodeFromName(f.GetProfileString(s, k::kTranspondertyp, k::kDefaultTypeName));
  job.autoIncrement = f.GetProfileInt(s, k::kAutoIncrement, k::kFileDefaultAutoIncrement);
  job.importData = f.GetProfileInt(s, k::kDatenImport, 0);
  job.importFile = StoredTextToUtf8(f.GetProfileString(s, k::kDatenFile, ""));
  ReadJobFields(job, f, k::kFileDefaultStartblock);
  return true;
}

bool ImportSettingsFile(JobParams& job, IJobView& view, const std::string& path, std::string* why) {
  if (!ImportSettingsFile(job, path, why)) return false;
  view.ShowFields();
  ApplyTypeLayout(job, view);
  return true;
}

}  // namespace tw
