#include "shell/settings_store.h"

#include <fcntl.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "shell/atomic_file.h"
#include "shell/file_prims.h"
#include "shell/ini_ex.h"

namespace tw {
namespace {

// Strict reading: a value that is not a whole decimal integer is of another type.
bool ParseStrictInt(const std::string& v, int& out) {
  size_t i = 0, n = v.size();
  while (i < n && (v[i] == ' ' || v[i] == '\t')) ++i;
  while (n > i && (v[n - 1] == ' ' || v[n - 1] == '\t')) --n;
  bool negative = false;
  if (i < n && (v[i] == '+' || v[i] == '-')) negative = v[i++] == '-';
  if (i == n) return false;
  long long x = 0;
  for (; i < n; ++i) {
    if (v[i] < '0' || v[i] > '9') return false;
    x = x * 10 + (v[i] - '0');
    if (x > static_cast<long long>(INT_MAX) + 1) return false;
  }
  if (negative) x = -x;
  if (x > INT_MAX || x < INT_MIN) return false;
  out = static_cast<int>(x);
  return true;
}

bool MakeFolders(const std::string& path, int mode) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    std::string part = path.substr(0, slash);
    if (!part.empty() && !MakeFolder(part, mode)) return false;
    if (slash == std::string::npos) return true;
  }
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos || slash == 0 ? std::string() : path.substr(0, slash);
}

// A view over a document that remembers whether a write changed anything (exactly, not ignoring
// case: stored paths are case-sensitive here).
class DocView : public ISettingsView {
 public:
  explicit DocView(CIniEx& doc) : doc_(doc) {}
  int GetProfileInt(const std::string& section, const std::string& key, int def) override {
    int v;
    return ParseStrictInt(doc_.GetProfileString(section, key, std::string()), v) ? v : def;
  }
  std::string GetProfileString(const std::string& section, const std::string& key,
                               const std::string& def) override {
    return doc_.GetProfileString(section, key, def);
  }
  bool WriteProfileInt(const std::string& section, const std::string& key, int value) override {
    return WriteProfileString(section, key, std::to_string(value));
  }
  bool WriteProfileString(const std::string& section, const std::string& key,
                          const std::string& value) override {
    if (!doc_.HasEntry(section, key) || doc_.GetProfileString(section, key, {}) != value) changed_ = true;
    doc_.WriteProfileString(section, key, value);
    return true;
  }
  bool Changed() const { return changed_; }

 private:
  CIniEx& doc_;
  bool changed_ = false;
};

struct FileIdentity {
  uint64_t dev = 0;
  uint64_t ino = 0;
  long long size = -1;
  long long mtimeNs = -1;
  bool operator==(const FileIdentity&) const = default;
};

FileIdentity IdentityOf(const FileStat& st) { return {st.dev, st.ino, st.size, st.mtimeNs}; }

}  // namespace

struct FileSettingsStore::Impl {
  // Recursive: a transaction's function may call the store itself; such calls go to its view.
  std::recursive_mutex mutex;
  ISettingsView* active = nullptr;
  std::unique_ptr<CIniEx> doc = std::make_unique<CIniEx>();
  FileIdentity identity;
  bool loaded = false;

  // Re-reads the file when it is not the one read last. False when it exists but cannot be read:
  // the document is then empty, and a transaction must not write it back with only its own keys.
  bool Refresh(const std::string& path, bool force) {
    FileStat st;
    if (!StatFile(path, st)) {
      doc = std::make_unique<CIniEx>();
      identity = FileIdentity{};
      loaded = errno == ENOENT;
      return loaded;
    }
    if (!force && loaded && IdentityOf(st) == identity) return true;
    int fd = OpenFile(path, O_RDONLY, 0);
    std::string text;
    bool read = fd >= 0;
    if (fd >= 0) {
      FileStat fst;
      if (StatFd(fd, fst)) st = fst;
      read = ReadWholeFile(fd, text);
      if (!read) text.clear();
      CloseFile(fd);
    }
    doc = std::make_unique<CIniEx>();
    doc->ParseText(text);
    identity = read ? IdentityOf(st) : FileIdentity{};
    loaded = read;
    return read;
  }
};

FileSettingsStore::FileSettingsStore(std::string path)
    : path_(std::move(path)), impl_(std::make_unique<Impl>()) {}

FileSettingsStore::~FileSettingsStore() = default;

int FileSettingsStore::GetProfileInt(const std::string& section, const std::string& key, int def) {
  std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
  if (impl_->active != nullptr) return impl_->active->GetProfileInt(section, key, def);
  impl_->Refresh(path_, false);
  return DocView(*impl_->doc).GetProfileInt(section, key, def);
}

std::string FileSettingsStore::GetProfileString(const std::string& section, const std::string& key,
                                                const std::string& def) {
  std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
  if (impl_->active != nullptr) return impl_->active->GetProfileString(section, key, def);
  impl_->Refresh(path_, false);
  return impl_->doc->GetProfileString(section, key, def);
}

bool FileSettingsStore::WriteProfileInt(const std::string& section, const std::string& key, int value) {
  return Transaction([&](ISettingsView& v) { v.WriteProfileInt(section, key, value); });
}

bool FileSettingsStore::WriteProfileString(const std::string& section, const std::string& key,
                                           const std::string& value) {
  return Transaction([&](ISettingsView& v) { v.WriteProfileString(section, key, value); });
}

bool FileSettingsStore::Transaction(const std::function<void(ISettingsView&)>& fn) {
  std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
  if (impl_->active != nullptr) {
    // Nested in a running transaction: part of it.
    fn(*impl_->active);
    return true;
  }
  std::string folder = FolderOf(path_);
  if (!folder.empty()) MakeFolders(folder, 0700);
  int lockFd = OpenFile(path_ + ".lock", O_RDWR | O_CREAT, 0600);
  if (lockFd < 0) return false;
  if (!LockFileWithin(lockFd, true, kLockWaitMs)) {
    CloseFile(lockFd);
    return false;
  }
  // Under the lock, always from the file: another process may have written a moment ago.
  if (!impl_->Refresh(path_, true)) {
    CloseFile(lockFd);
    return false;
  }
  DocView view(*impl_->doc);
  impl_->active = &view;
  fn(view);
  impl_->active = nullptr;
  bool ok = true;
  if (view.Changed()) {
    ok = ReplaceFileAtomically(path_, impl_->doc->ToText(), 0600);
    // Success or not, the next read comes from the file, so a failed write leaves no trace.
    impl_->loaded = false;
  }
  CloseFile(lockFd);
  return ok;
}

// ---- in memory ----

bool MemorySettingsStore::NoCaseLess::operator()(const std::string& a, const std::string& b) const {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    unsigned char ca = FoldCaseCp1252(static_cast<unsigned char>(a[i]));
    unsigned char cb = FoldCaseCp1252(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca < cb;
  }
  return a.size() < b.size();
}

namespace {

template <typename Values>
class MapView : public ISettingsView {
 public:
  explicit MapView(Values& v) : values_(v) {}
  const std::string* Find(const std::string& section, const std::string& key) const {
    auto s = values_.find(section);
    if (s == values_.end()) return nullptr;
    auto k = s->second.find(key);
    return k == s->second.end() ? nullptr : &k->second;
  }
  int GetProfileInt(const std::string& section, const std::string& key, int def) override {
    const std::string* v = Find(section, key);
    int x;
    return v != nullptr && ParseStrictInt(*v, x) ? x : def;
  }
  std::string GetProfileString(const std::string& section, const std::string& key,
                               const std::string& def) override {
    const std::string* v = Find(section, key);
    return v != nullptr ? *v : def;
  }
  bool WriteProfileInt(const std::string& section, const std::string& key, int value) override {
    return WriteProfileString(section, key, std::to_string(value));
  }
  bool WriteProfileString(const std::string& section, const std::string& key,
                          const std::string& value) override {
    values_[section][key] = value;
    return true;
  }

 private:
  Values& values_;
};

}  // namespace

int MemorySettingsStore::GetProfileInt(const std::string& section, const std::string& key, int def) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return MapView<Values>(values_).GetProfileInt(section, key, def);
}

std::string MemorySettingsStore::GetProfileString(const std::string& section, const std::string& key,
                                                  const std::string& def) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return MapView<Values>(values_).GetProfileString(section, key, def);
}

bool MemorySettingsStore::WriteProfileInt(const std::string& section, const std::string& key, int value) {
  return Transaction([&](ISettingsView& v) { v.WriteProfileInt(section, key, value); });
}

bool MemorySettingsStore::WriteProfileString(const std::string& section, const std::string& key,
                                             const std::string& value) {
  return Transaction([&](ISettingsView& v) { v.WriteProfileString(section, key, value); });
}

bool MemorySettingsStore::Transaction(const std::function<void(ISettingsView&)>& fn) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Values work = values_;
  MapView<Values> view(work);
  fn(view);
  if (failWrites_) return false;
  ++writeCount_;
  values_ = std::move(work);
  return true;
}

void MemorySettingsStore::ForEach(const std::function<void(const std::string&, const std::string&,
                                                          const std::string&)>& fn) const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  for (const auto& [section, keys] : values_)
    for (const auto& [key, value] : keys) fn(section, key, value);
}

bool MemorySettingsStore::Has(const std::string& section, const std::string& key) const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  auto s = values_.find(section);
  return s != values_.end() && s->second.count(key) != 0;
}

}  // namespace tw
