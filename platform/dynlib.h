// Loading shared libraries at run time (FTDI D2XX, hidapi). A library that is absent is not an error
// for the caller: its feature simply finds nothing.
#pragma once
#include <string>

namespace tw {

class DynamicLibrary {
 public:
  DynamicLibrary() = default;
  ~DynamicLibrary();
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  // Tries each name in turn (a ':'-separated list is allowed); true when one loaded.
  bool Load(const std::string& names);
  void Unload();
  bool IsLoaded() const { return handle_ != nullptr; }
  // Address of an exported symbol, or nullptr when the library or the symbol is missing.
  void* Symbol(const char* name) const;
  const std::string& LoadedName() const { return name_; }
  const std::string& LastError() const { return error_; }

  template <typename Fn>
  Fn Get(const char* name) const { return reinterpret_cast<Fn>(Symbol(name)); }

 private:
  void* handle_ = nullptr;
  std::string name_;
  std::string error_;
};

}  // namespace tw
