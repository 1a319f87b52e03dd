#include "shell/registry_settings.h"

#include "platform/windows_api.h"

#include <vector>

#include "platform/cp1252.h"
#include "platform/wide_text.h"

namespace tw {

namespace {

// Cross-process exclusion of transactions: the desktop program and the command-line tool.
constexpr wchar_t kMutexName[] = L"Local\\Tagwright.Settings";
constexpr DWORD kLockWaitMs = 10000;

std::wstring Wide1252(const std::string& cp1252) { return Utf8ToWide(Cp1252ToUtf8(cp1252)); }

std::wstring SectionKey(const std::string& base, const std::string& section) {
  return Utf8ToWide(base) + L"\\" + Wide1252(section);
}

// One stored value as it was, to put it back.
struct OldValue {
  bool existed = false;
  DWORD type = 0;
  std::vector<BYTE> data;
};

bool ReadRaw(const std::wstring& keyPath, const std::wstring& name, OldValue& v) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return false;
  DWORD size = 0;
  LONG r = RegQueryValueExW(key, name.c_str(), nullptr, &v.type, nullptr, &size);
  if (r == ERROR_SUCCESS) {
    v.data.resize(size);
    r = RegQueryValueExW(key, name.c_str(), nullptr, &v.type, v.data.data(), &size);
    v.data.resize(size);
  }
  RegCloseKey(key);
  v.existed = r == ERROR_SUCCESS;
  return v.existed;
}

bool WriteRaw(const std::wstring& keyPath, const std::wstring& name, DWORD type, const BYTE* data,
              DWORD size) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return false;
  const LONG r = RegSetValueExW(key, name.c_str(), 0, type, data, size);
  RegCloseKey(key);
  return r == ERROR_SUCCESS;
}

void Restore(const std::wstring& keyPath, const std::wstring& name, const OldValue& v) {
  if (v.existed) {
    WriteRaw(keyPath, name, v.type, v.data.data(), static_cast<DWORD>(v.data.size()));
    return;
  }
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
    RegDeleteValueW(key, name.c_str());
    RegCloseKey(key);
  }
}

}  // namespace

class RegistrySettingsStore::View : public ISettingsView {
 public:
  explicit View(RegistrySettingsStore& store) : store_(store) {}
  int GetProfileInt(const std::string& section, const std::string& key, int def) override {
    auto it = pending_.find({section, key});
    if (it == pending_.end()) return store_.ReadInt(section, key, def);
    return it->second.isInt ? it->second.number : def;
  }
  std::string GetProfileString(const std::string& section, const std::string& key,
                               const std::string& def) override {
    auto it = pending_.find({section, key});
    if (it == pending_.end()) return store_.ReadString(section, key, def);
    return it->second.isInt ? def : it->second.text;
  }
  bool WriteProfileInt(const std::string& section, const std::string& key, int value) override {
    Pending& p = pending_[{section, key}];
    p.isInt = true;
    p.number = value;
    return true;
  }
  bool WriteProfileString(const std::string& section, const std::string& key,
                          const std::string& value) override {
    Pending& p = pending_[{section, key}];
    p.isInt = false;
    p.text = value;
    return true;
  }
  const PendingMap& Writes() const { return pending_; }

 private:
  RegistrySettingsStore& store_;
  PendingMap pending_;
};

RegistrySettingsStore::RegistrySettingsStore(std::string baseKey) : baseKey_(std::move(baseKey)) {}

int RegistrySettingsStore::ReadInt(const std::string& section, const std::string& key, int def) {
  OldValue v;
  if (!ReadRaw(SectionKey(baseKey_, section), Wide1252(key), v) || v.type != REG_DWORD ||
      v.data.size() != sizeof(DWORD))
    return def;
  DWORD d = 0;
  memcpy(&d, v.data.data(), sizeof d);
  return static_cast<int>(d);
}

std::string RegistrySettingsStore::ReadString(const std::string& section, const std::string& key,
                                              const std::string& def) {
  OldValue v;
  if (!ReadRaw(SectionKey(baseKey_, section), Wide1252(key), v) ||
      (v.type != REG_SZ && v.type != REG_EXPAND_SZ))
    return def;
  std::wstring text(reinterpret_cast<const wchar_t*>(v.data.data()), v.data.size() / sizeof(wchar_t));
  while (!text.empty() && text.back() == L'\0') text.pop_back();
  return Utf8ToCp1252(WideToUtf8(text));
}

int RegistrySettingsStore::GetProfileInt(const std::string& section, const std::string& key, int def) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (active_ != nullptr) return active_->GetProfileInt(section, key, def);
  return ReadInt(section, key, def);
}

std::string RegistrySettingsStore::GetProfileString(const std::string& section, const std::string& key,
                                                    const std::string& def) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (active_ != nullptr) return active_->GetProfileString(section, key, def);
  return ReadString(section, key, def);
}

bool RegistrySettingsStore::WriteProfileInt(const std::string& section, const std::string& key, int value) {
  return Transaction([&](ISettingsView& v) { v.WriteProfileInt(section, key, value); });
}

bool RegistrySettingsStore::WriteProfileString(const std::string& section, const std::string& key,
                                               const std::string& value) {
  return Transaction([&](ISettingsView& v) { v.WriteProfileString(section, key, value); });
}

bool RegistrySettingsStore::Transaction(const std::function<void(ISettingsView&)>& fn) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (active_ != nullptr) {
    fn(*active_);  // nested: part of the running transaction
    return true;
  }
  HANDLE m = CreateMutexW(nullptr, FALSE, kMutexName);
  if (m == nullptr) return false;
  const DWORD w = WaitForSingleObject(m, kLockWaitMs);
  if (w != WAIT_OBJECT_0 && w != WAIT_ABANDONED) {
    CloseHandle(m);
    return false;
  }
  View view(*this);
  active_ = &view;
  fn(view);
  active_ = nullptr;

  struct Done {
    std::wstring keyPath, name;
    OldValue old;
  };
  std::vector<Done> done;
  bool ok = true;
  for (const auto& [where, p] : view.Writes()) {
    Done d{SectionKey(baseKey_, where.first), Wide1252(where.second), {}};
    ReadRaw(d.keyPath, d.name, d.old);
    if (p.isInt) {
      const DWORD value = static_cast<DWORD>(p.number);
      ok = WriteRaw(d.keyPath, d.name, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    } else {
      const std::wstring text = Wide1252(p.text);
      ok = WriteRaw(d.keyPath, d.name, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                    static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
    if (!ok) break;
    done.push_back(std::move(d));
  }
  if (!ok) {
    for (auto it = done.rbegin(); it != done.rend(); ++it) Restore(it->keyPath, it->name, it->old);
  }
  ReleaseMutex(m);
  CloseHandle(m);
  return ok;
}

}  // namespace tw
