#include "job/reservation_store.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <map>

#include "platform/cp1252.h"
#include "platform/process_info.h"
#include "shell/atomic_file.h"
#include "shell/file_prims.h"
#include "shell/settings_keys.h"
#include "shell/settings_store.h"

namespace tw {
namespace {

// ---- journal lines ----
// One record per line: tab-separated fields, each escaped so that it holds no control character,
// TAB or '%', then a TAB and the CRC-32 of everything before it in eight hex digits. A line without
// its LF or with a wrong CRC is the torn end of a write that a crash cut off.
// Records: R reservation (id, time, UID, owner, taken progress, next progress: moves the
// progress), K the same kept across a fold (does not move it), C completed, G given back, S spent,
// P progress set outright, I the next reservation id.

uint32_t Crc32(const std::string& s) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  uint32_t c = 0xFFFFFFFFu;
  for (unsigned char b : s) c = table[(c ^ b) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

std::string Escape(const std::string& s) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(s.size());
  for (unsigned char c : s) {
    if (c < 0x20 || c == '%' || c == 0x7F) {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool Unescape(const std::string& s, std::string& out) {
  out.clear();
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '%') {
      out += s[i];
      continue;
    }
    if (i + 2 >= s.size()) return false;
    const int hi = HexDigit(s[i + 1]), lo = HexDigit(s[i + 2]);
    if (hi < 0 || lo < 0) return false;
    out += static_cast<char>(hi << 4 | lo);
    i += 2;
  }
  return true;
}

bool ParseI64(const std::string& s, int64_t& out) {
  if (s.empty() || s.size() > 19) return false;
  int64_t v = 0;
  size_t i = 0;
  const bool negative = s[0] == '-';
  if (negative) i = 1;
  if (i == s.size()) return false;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + (s[i] - '0');
  }
  out = negative ? -v : v;
  return true;
}

class LineBuilder {
 public:
  explicit LineBuilder(char kind) { text_ += kind; }
  LineBuilder& Add(const std::string& field) {
    text_ += '\t';
    text_ += Escape(field);
    return *this;
  }
  LineBuilder& Add(int64_t n) { return Add(std::to_string(n)); }
  LineBuilder& Add(const JobProgress& p) {
    return Add(p.value).Add(p.importData).Add(p.importFile).Add(p.importLinesUsed);
  }
  std::string Finish() const {
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08X", Crc32(text_));
    return text_ + '\t' + crc + '\n';
  }

 private:
  std::string text_;
};

// The fields of one line without kind and CRC; false for a torn or damaged line.
bool SplitLine(const std::string& line, char& kind, std::vector<std::string>& fields) {
  const size_t crcTab = line.rfind('\t');
  if (line.empty() || crcTab == std::string::npos || line.size() - crcTab != 9) return false;
  const std::string body = line.substr(0, crcTab);
  char crc[16];
  std::snprintf(crc, sizeof crc, "%08X", Crc32(body));
  if (line.compare(crcTab + 1, 8, crc) != 0) return false;
  kind = body[0];
  fields.clear();
  size_t pos = 1;
  while (pos < body.size()) {
    if (body[pos] != '\t') return false;
    const size_t next = body.find('\t', pos + 1);
    std::string raw = body.substr(pos + 1, next == std::string::npos ? std::string::npos : next - pos - 1);
    std::string field;
    if (!Unescape(raw, field)) return false;
    fields.push_back(std::move(field));
    pos = next == std::string::npos ? body.size() : next;
  }
  return true;
}

bool TakeProgress(const std::vector<std::string>& f, size_t at, JobProgress& p) {
  if (f.size() < at + 4) return false;
  int64_t importData, line;
  if (!ParseI64(f[at + 1], importData) || !ParseI64(f[at + 3], line)) return false;
  p.value = f[at];
  p.importData = static_cast<int>(importData);
  p.importFile = f[at + 2];
  p.importLinesUsed = static_cast<int>(line);
  return true;
}

struct OpenEntry {
  Reservation r;
  JobProgress next;
};

// What the journal says.
struct JournalState {
  bool hasProgress = false;  // a record set the progress: it overrides the settings store
  JobProgress progress;
  std::map<int64_t, OpenEntry> reservations;
  int64_t nextId = 1;
  size_t validBytes = 0;  // length of the journal up to the end of its last whole line

  // Applies one line; false when it is not a valid record.
  bool Apply(const std::string& line) {
    char kind;
    std::vector<std::string> f;
    if (!SplitLine(line, kind, f)) return false;
    int64_t id = 0;
    switch (kind) {
      case 'R':
      case 'K': {
        OpenEntry e;
        if (f.size() != 12 || !ParseI64(f[0], id) || !ParseI64(f[1], e.r.time) ||
            !TakeProgress(f, 4, e.r.taken) || !TakeProgress(f, 8, e.next))
          return false;
        e.r.id = id;
        e.r.uid = f[2];
        e.r.owner = f[3];
        if (kind == 'R') {
          progress = e.next;
          hasProgress = true;
        }
        reservations[id] = std::move(e);
        if (id >= nextId) nextId = id + 1;
        return true;
      }
      case 'C':
      case 'G':
      case 'S': {
        if (f.size() != 1 || !ParseI64(f[0], id)) return false;
        auto it = reservations.find(id);
        if (it == reservations.end()) return true;  // settled already
        if (kind == 'S') {
          it->second.r.state = ReservationState::Spent;
        } else {
          if (kind == 'G' && hasProgress && progress == it->second.next) progress = it->second.r.taken;
          reservations.erase(it);
        }
        return true;
      }
      case 'P':
        if (f.size() != 4 || !TakeProgress(f, 0, progress)) return false;
        hasProgress = true;
        return true;
      case 'I':
        if (f.size() != 1 || !ParseI64(f[0], id)) return false;
        if (id > nextId) nextId = id;
        return true;
      default:
        return false;
    }
  }

  // Reads the whole journal text. A damaged last line is a write cut off by a crash and is left
  // out; a damaged line before the last is an error.
  bool Load(const std::string& text, std::string& message) {
    size_t pos = 0;
    while (pos < text.size()) {
      const size_t lf = text.find('\n', pos);
      if (lf == std::string::npos) break;  // torn end
      const std::string line = text.substr(pos, lf - pos);
      if (!Apply(line)) {
        if (lf + 1 < text.size()) {
          message = "progress journal is damaged at byte " + std::to_string(pos);
          return false;
        }
        break;
      }
      pos = lf + 1;
      validBytes = pos;
    }
    return true;
  }

  // The reservations not settled yet (and the id counter) as the journal that survives a fold.
  // They are kept as K records: reservations that no longer move the progress.
  std::string CompactText() const {
    std::string out = LineBuilder('I').Add(nextId).Finish();
    for (const auto& [id, e] : reservations) {
      out += LineBuilder('K').Add(id).Add(e.r.time).Add(e.r.uid).Add(e.r.owner).Add(e.r.taken).Add(e.next).Finish();
      if (e.r.state == ReservationState::Spent) out += LineBuilder('S').Add(id).Finish();
    }
    return out;
  }
};

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

void MakeFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    if (!part.empty()) MakeFolder(part, 0700);
    if (slash == std::string::npos) return;
  }
}

bool WriteAll(int fd, const std::string& s) {
  const char* p = s.data();
  size_t n = s.size();
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

// Reads the journal; a missing one is empty.
bool ReadJournal(const std::string& path, JournalState& state, std::string& message) {
  const int fd = OpenFile(path, O_RDONLY, 0);
  if (fd < 0) {
    if (errno == ENOENT) return true;
    message = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  std::string text;
  const bool read = ReadWholeFile(fd, text);
  const int err = errno;
  CloseFile(fd);
  if (!read) {
    message = "cannot read " + path + ": " + std::strerror(err);
    return false;
  }
  if (!state.Load(text, message)) {
    message = path + ": " + message;
    return false;
  }
  return true;
}

// Reads the progress keys in one transaction, so that an unreadable store fails instead of
// reading as defaults.
bool ReadSettingsProgress(ISettingsStore& settings, JobProgress& out) {
  return settings.Transaction([&](ISettingsView& v) {
    namespace k = settings;
    out = JobProgress{};
    out.value = v.GetProfileString(k::kSettings, k::kWert, std::string());
    out.importData = v.GetProfileInt(k::kSettings, k::kDatenImport, 0);
    if (out.importData != 0) {
      out.importFile = StoredTextToUtf8(v.GetProfileString(k::kSettings, k::kDatenFile, std::string()));
      out.importLinesUsed = v.GetProfileInt(k::kSettings, k::kDatenLinesUsed, 0);
    }
  });
}

bool WriteSettingsProgress(ISettingsStore& settings, const JobProgress& p) {
  return settings.Transaction([&](ISettingsView& v) {
    namespace k = settings;
    v.WriteProfileString(k::kSettings, k::kWert, p.value);
    v.WriteProfileInt(k::kSettings, k::kDatenImport, p.importData);
    v.WriteProfileString(k::kSettings, k::kDatenFile, p.importData ? Utf8ToCp1252(p.importFile) : std::string());
    v.WriteProfileInt(k::kSettings, k::kDatenLinesUsed, p.importData ? p.importLinesUsed : 0);
  });
}

}  // namespace

struct CLocalReservationStore::Impl {
  ISettingsStore& settings;
  int lockFd = -1;
  int journalFd = -1;
  std::string owner;
  JobProgress base;  // the progress in the settings store when the writer role was taken
  JournalState journal;

  explicit Impl(ISettingsStore& s) : settings(s) {}

  const JobProgress& Current() const { return journal.hasProgress ? journal.progress : base; }

  // Appends one record; sync: make it durable before returning.
  bool Append(const std::string& line, bool sync) {
    if (journalFd < 0) return false;
    if (!WriteAll(journalFd, line)) {
      // A partial line would hide every later one: cut it off again.
      if (!TruncateFd(journalFd, static_cast<long long>(journal.validBytes))) { /* reported below */
      }
      return false;
    }
    if (sync && !SyncData(journalFd)) return false;
    journal.validBytes += line.size();
    return journal.Apply(line.substr(0, line.size() - 1));
  }

  bool OpenJournal(const std::string& path) {
    FileStat st;
    const bool existed = StatFile(path, st);
    journalFd = OpenFile(path, O_WRONLY | O_APPEND | O_CREAT, 0600);
    if (journalFd < 0) return false;
    // Drop a torn last line so that the next record starts on a line of its own.
    if (StatFd(journalFd, st) && static_cast<size_t>(st.size) != journal.validBytes &&
        !TruncateFd(journalFd, static_cast<long long>(journal.validBytes)))
      return false;
    if (!existed) SyncFolderOf(path);
    return true;
  }

  void CloseJournal() {
    if (journalFd >= 0) CloseFile(journalFd);
    journalFd = -1;
  }

  // Puts the journal's progress into the settings store and rewrites the journal with what is
  // left (reservations not settled). Order matters: the settings first, so that a crash in between
  // leaves a journal that still says the same.
  bool Fold(const std::string& path) {
    if (journal.hasProgress) {
      if (!WriteSettingsProgress(settings, journal.progress)) return false;
      base = journal.progress;
    }
    JournalState kept = journal;
    kept.hasProgress = false;
    const std::string text = kept.CompactText();
    if (!ReplaceFileAtomically(path, text, 0600)) return false;
    journal = std::move(kept);
    journal.validBytes = text.size();
    return true;
  }
};

CLocalReservationStore::CLocalReservationStore(ISettingsStore& settings, std::string journalPath)
    : journalPath_(std::move(journalPath)), impl_(std::make_unique<Impl>(settings)) {}

CLocalReservationStore::~CLocalReservationStore() {
  if (IsOpen()) Close();
}

bool CLocalReservationStore::IsOpen() const { return impl_->lockFd >= 0; }

StoreResult CLocalReservationStore::Open(const std::string& program, std::string& message) {
  if (IsOpen()) return StoreResult::Ok;
  MakeFolders(FolderOf(journalPath_));
  const std::string lockPath = journalPath_ + ".lock";
  const int fd = OpenFile(lockPath, O_RDWR | O_CREAT, 0600);
  if (fd < 0) {
    message = "cannot open " + lockPath + ": " + std::strerror(errno);
    return StoreResult::Failed;
  }
  if (!LockFileWithin(fd, true, 0)) {
    const int err = errno;
    std::string holder;
    if (err == EWOULDBLOCK) ReadWholeFile(fd, holder);
    CloseFile(fd);
    if (err != EWOULDBLOCK) {
      message = "cannot lock " + lockPath + ": " + std::strerror(err);
      return StoreResult::Failed;
    }
    while (!holder.empty() && (holder.back() == '\n' || holder.back() == '\r')) holder.pop_back();
    message = holder.empty() ? "another process" : holder;
    return StoreResult::Busy;
  }
  // Who holds the job, for the message a second program shows.
  const std::string who = program + " (PID " + std::to_string(ProcessId()) + ")";
  if (!TruncateFd(fd, 0) || WriteAt(fd, (who + "\n").data(), who.size() + 1, 0) < 0) {
    // The lock is what counts; a missing name only makes the other program's message vaguer.
  }
  impl_->lockFd = fd;
  impl_->owner = program + "@" + HostName();

  impl_->journal = JournalState{};
  std::string error;
  bool ok = ReadSettingsProgress(impl_->settings, impl_->base);
  if (!ok) error = "the settings store cannot be read";
  // The progress goes there when the job ends: a store that cannot take it is found now, before
  // the first tag, not after it.
  if (ok) {
    if (const auto* file = dynamic_cast<const FileSettingsStore*>(&impl_->settings)) {
      const std::string& path = file->Path();
      const bool writable = ::access(path.c_str(), F_OK) == 0 ? ::access(path.c_str(), W_OK) == 0
                                                              : ::access(FolderOf(path).c_str(), W_OK) == 0;
      if (!writable) {
        ok = false;
        error = "cannot write " + path + ": " + std::strerror(errno);
      }
    }
  }
  if (ok) ok = ReadJournal(journalPath_, impl_->journal, error);
  // Progress that a writer which died left only in the journal goes to the settings store now.
  if (ok && impl_->journal.hasProgress) {
    ok = impl_->Fold(journalPath_);
    if (!ok) error = "the settings store cannot be written";
  }
  if (ok) {
    ok = impl_->OpenJournal(journalPath_);
    if (!ok) error = "cannot write " + journalPath_ + ": " + std::strerror(errno);
  }
  if (!ok) {
    impl_->CloseJournal();
    CloseFile(impl_->lockFd);
    impl_->lockFd = -1;
    message = error;
    return StoreResult::Failed;
  }
  return StoreResult::Ok;
}

bool CLocalReservationStore::Close() {
  if (!IsOpen()) return true;
  bool ok = true;
  // Closed before the fold replaces it: Windows does not replace a file that is still open.
  impl_->CloseJournal();
  if (impl_->journal.hasProgress) ok = impl_->Fold(journalPath_);
  CloseFile(impl_->lockFd);
  impl_->lockFd = -1;
  return ok;
}

bool CLocalReservationStore::ReadProgress(JobProgress& out, std::string& message) {
  JobProgress base;
  if (!ReadSettingsProgress(impl_->settings, base)) {
    message = "the settings store cannot be read";
    return false;
  }
  JournalState journal;
  if (!ReadJournal(journalPath_, journal, message)) return false;
  out = journal.hasProgress ? journal.progress : base;
  return true;
}

bool CLocalReservationStore::SetProgress(const JobProgress& progress) {
  if (!IsOpen()) return false;
  if (progress == impl_->Current()) return true;
  return impl_->Append(LineBuilder('P').Add(progress).Finish(), true);
}

StoreResult CLocalReservationStore::Reserve(const JobProgress& expected, const JobProgress& next,
                                            const std::string& uid, Reservation& out) {
  if (!IsOpen()) return StoreResult::Failed;
  if (!(impl_->Current() == expected)) return StoreResult::Conflict;
  Reservation r;
  r.id = impl_->journal.nextId;
  r.taken = expected;
  r.uid = uid;
  r.time = static_cast<int64_t>(std::time(nullptr));
  r.owner = impl_->owner;
  const std::string line =
      LineBuilder('R').Add(r.id).Add(r.time).Add(r.uid).Add(r.owner).Add(r.taken).Add(next).Finish();
  if (!impl_->Append(line, true)) return StoreResult::Failed;
  out = r;
  return StoreResult::Ok;
}

bool CLocalReservationStore::Complete(const Reservation& r, bool logged) {
  if (!IsOpen()) return false;
  return impl_->Append(LineBuilder('C').Add(r.id).Finish(), !logged);
}

bool CLocalReservationStore::GiveBack(const Reservation& r) {
  if (!IsOpen()) return false;
  return impl_->Append(LineBuilder('G').Add(r.id).Finish(), true);
}

bool CLocalReservationStore::MarkSpent(const Reservation& r) {
  if (!IsOpen()) return false;
  return impl_->Append(LineBuilder('S').Add(r.id).Finish(), true);
}

bool CLocalReservationStore::ListReservations(std::vector<Reservation>& out, std::string& message) {
  out.clear();
  JournalState fresh;
  const JournalState* state = &impl_->journal;
  if (!IsOpen()) {
    if (!ReadJournal(journalPath_, fresh, message)) return false;
    state = &fresh;
  }
  for (const auto& [id, e] : state->reservations) out.push_back(e.r);
  return true;
}

std::string JournalPathFor(const std::string& settingsPath) {
  std::string path = settingsPath;
  const size_t dot = path.rfind('.');
  if (dot != std::string::npos && path.find('/', dot) == std::string::npos) path.resize(dot);
  return path + ".progress";
}

std::string DefaultJournalPath() { return JournalPathFor(DefaultSettingsPath()); }

CReservationStore& UserReservations() {
  static CLocalReservationStore store(UserSettings(), DefaultJournalPath());
  return store;
}

JobProgress ReadStoredProgress(ISettingsStore& settings) {
  JobProgress p;
  ReadSettingsProgress(settings, p);
  return p;
}

}  // namespace tw
