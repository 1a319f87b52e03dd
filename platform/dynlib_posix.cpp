#include <dlfcn.h>

#include "platform/dynlib.h"

namespace tw {

DynamicLibrary::~DynamicLibrary() { Unload(); }

bool DynamicLibrary::Load(const std::string& names) {
  Unload();
  size_t start = 0;
  while (start <= names.size()) {
    size_t end = names.find(':', start);
    if (end == std::string::npos) end = names.size();
    std::string one = names.substr(start, end - start);
    if (!one.empty()) {
      handle_ = dlopen(one.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (handle_) {
        name_ = one;
        error_.clear();
        return true;
      }
      const char* e = dlerror();
      error_ = e ? e : "dlopen failed";
    }
    start = end + 1;
  }
  return false;
}

void DynamicLibrary::Unload() {
  if (handle_) dlclose(handle_);
  handle_ = nullptr;
  name_.clear();
}

void* DynamicLibrary::Symbol(const char* name) const {
  if (!handle_) return nullptr;
  return dlsym(handle_, name);
}

}  // namespace tw
