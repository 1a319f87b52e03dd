// The per-user settings in the registry (Windows build only): one subkey per section below a base
// key, integers as REG_DWORD, texts as REG_SZ (Windows-1252 text stored as Unicode).
#pragma once
#include <map>
#include <mutex>
#include <string>

#include "shell/settings_store.h"

namespace tw {

// The program's key below HKEY_CURRENT_USER.
inline constexpr char kRegistryKey[] = "Software\\Velkor Applikationen\\Tagwright";

class RegistrySettingsStore : public ISettingsStore {
 public:
  // baseKey: below HKEY_CURRENT_USER.
  explicit RegistrySettingsStore(std::string baseKey = kRegistryKey);

  // A REG_DWORD reads as its value; any other type, or no value, as def.
  int GetProfileInt(const std::string& section, const std::string& key, int def) override;
  // A REG_SZ or REG_EXPAND_SZ reads as its text; any other type, or no value, as def.
  std::string GetProfileString(const std::string& section, const std::string& key,
                               const std::string& def) override;
  bool WriteProfileInt(const std::string& section, const std::string& key, int value) override;
  bool WriteProfileString(const std::string& section, const std::string& key,
                          const std::string& value) override;
  // Writes are collected and stored when fn returns, under a mutex shared with the program's
  // other processes; when one cannot be stored, those already stored are put back as they were.
  bool Transaction(const std::function<void(ISettingsView&)>& fn) override;

  const std::string& BaseKey() const { return baseKey_; }

 private:
  struct Pending {
    bool isInt = false;
    int number = 0;
    std::string text;
  };
  using PendingMap = std::map<std::pair<std::string, std::string>, Pending>;
  class View;
  int ReadInt(const std::string& section, const std::string& key, int def);
  std::string ReadString(const std::string& section, const std::string& key, const std::string& def);

  std::string baseKey_;
  std::recursive_mutex mutex_;
  View* active_ = nullptr;
};

}  // namespace tw
