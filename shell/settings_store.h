// The per-user settings store (what the registry is on the original platform): sections of
// named integer and string values; a missing value reads as the caller's default and nothing is
// ever deleted. A file-backed store for the programs and an in-memory one for tests.
#pragma once
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace tw {

// Reads and writes of single values; also the view handed to a transaction.
class ISettingsView {
 public:
  virtual ~ISettingsView() = default;
  // The stored integer; def when the value is missing, empty or not a whole decimal integer in
  // the 32-bit range (a value of the wrong type reads as the default, as in the registry).
  virtual int GetProfileInt(const std::string& section, const std::string& key, int def) = 0;
  // The stored text (Windows-1252 bytes); def when missing. An empty stored text is returned as such.
  virtual std::string GetProfileString(const std::string& section, const std::string& key,
                                       const std::string& def) = 0;
  // Store one value. Outside a transaction each write is stored at once (locked, atomically
  // replaced); true when it reached the store. Inside a transaction the result is provisional:
  // the transaction's result tells whether it was stored.
  virtual bool WriteProfileInt(const std::string& section, const std::string& key, int value) = 0;
  virtual bool WriteProfileString(const std::string& section, const std::string& key,
                                  const std::string& value) = 0;
};

class ISettingsStore : public ISettingsView {
 public:
  // Runs fn with the store held for this process alone: reads see the current stored state, and
  // all writes made through the view are stored together in one replacement of the store when fn
  // returns. True when they were stored (or nothing changed); false when the store could not be
  // locked, read (a store that exists but cannot be read) or written, in which case none of fn's
  // writes are kept. Calls that fn makes on the store itself (same thread) join the transaction;
  // a nested Transaction just runs its function.
  virtual bool Transaction(const std::function<void(ISettingsView&)>& fn) = 0;
};

// Store in an INI file: "[Section]" per section, "Key=value" per value, integers as "%d".
// Reads need no lock (the file is only ever replaced whole); every write takes an exclusive lock
// on "<file>.lock" for its read-modify-write, waiting at most kLockWaitMs, so that the desktop
// application and the command-line tool can write at the same time without losing values.
// The file and its lock file are created with mode 0600: stored passwords are plain text.
class FileSettingsStore : public ISettingsStore {
 public:
  explicit FileSettingsStore(std::string path);
  ~FileSettingsStore() override;

  int GetProfileInt(const std::string& section, const std::string& key, int def) override;
  std::string GetProfileString(const std::string& section, const std::string& key,
                               const std::string& def) override;
  bool WriteProfileInt(const std::string& section, const std::string& key, int value) override;
  bool WriteProfileString(const std::string& section, const std::string& key,
                          const std::string& value) override;
  bool Transaction(const std::function<void(ISettingsView&)>& fn) override;

  const std::string& Path() const { return path_; }

  static constexpr int kLockWaitMs = 10000;

 private:
  struct Impl;
  std::string path_;
  std::unique_ptr<Impl> impl_;
};

// The store's file: "$XDG_CONFIG_HOME/Velkor Applikationen/Tagwright.conf", with ~/.config in
// place of $XDG_CONFIG_HOME when that is unset, empty or not absolute.
std::string DefaultSettingsPath();

// The program's store at DefaultSettingsPath(), made once; its folder is created (mode 0700)
// on the first write.
ISettingsStore& UserSettings();

// Store in memory, for tests; safe to share between threads.
class MemorySettingsStore : public ISettingsStore {
 public:
  int GetProfileInt(const std::string& section, const std::string& key, int def) override;
  std::string GetProfileString(const std::string& section, const std::string& key,
                               const std::string& def) override;
  bool WriteProfileInt(const std::string& section, const std::string& key, int value) override;
  bool WriteProfileString(const std::string& section, const std::string& key,
                          const std::string& value) override;
  bool Transaction(const std::function<void(ISettingsView&)>& fn) override;

  // Whether a value is stored (tests check what was written, defaults aside).
  bool Has(const std::string& section, const std::string& key) const;
  // Every stored value, by section and key.
  void ForEach(const std::function<void(const std::string& section, const std::string& key,
                                        const std::string& value)>& fn) const;
  // Makes every later write fail, to test how callers handle a store that cannot be written.
  void SetFailWrites(bool fail) { failWrites_ = fail; }
  int WriteCount() const { return writeCount_; }

 private:
  // Section and key names compare ignoring case, as in the registry.
  struct NoCaseLess {
    bool operator()(const std::string& a, const std::string& b) const;
  };
  using Values = std::map<std::string, std::map<std::string, std::string, NoCaseLess>, NoCaseLess>;
  mutable std::recursive_mutex mutex_;
  Values values_;
  bool failWrites_ = false;
  int writeCount_ = 0;
};

}  // namespace tw
