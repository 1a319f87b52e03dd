#include <windows.h>

#include "platform/dynlib.h"
#include "platform/wide_text.h"

namespace tw {

DynamicLibrary::~DynamicLibrary() { Unload(); }

// Names are separated by ';' here (':' belongs to drive letters); a ':' list without a drive
// letter in it is accepted as well, so that callers can pass one list on every platform.
bool DynamicLibrary::Load(const std::string& names) {
  Unload();
  const bool hasDrive = names.size() > 1 && names[1] == ':';
  const char sep = names.find(';') != std::string::npos || hasDrive ? ';' : ':';
  size_t start = 0;
  while (start <= names.size()) {
    size_t end = names.find(sep, start);
    if (end == std::string::npos) end = names.size();
    std::string one = names.substr(start, end - start);
    if (!one.empty()) {
      // No error box for a missing library: an absent vendor DLL is an ordinary case.
      const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
      HMODULE h = LoadLibraryW(Utf8ToWide(one).c_str());
      SetErrorMode(oldMode);
      if (h) {
        handle_ = h;
        name_ = one;
        error_.clear();
        return true;
      }
      error_ = one + ": " + Win32ErrorText(GetLastError());
    }
    start = end + 1;
  }
  return false;
}

void DynamicLibrary::Unload() {
  if (handle_) FreeLibrary(static_cast<HMODULE>(handle_));
  handle_ = nullptr;
  name_.clear();
}

void* DynamicLibrary::Symbol(const char* name) const {
  if (!handle_) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

}  // namespace tw
