// The program's settings store on POSIX systems: an INI file in the user's configuration folder.
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "shell/settings_store.h"

namespace tw {

std::string DefaultSettingsPath() {
  std::string base;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    std::string h;
    if (home != nullptr && home[0] != '\0') {
      h = home;
    } else if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr) {
      h = pw->pw_dir;
    }
    base = h + "/.config";
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/Velkor Applikationen/Tagwright.conf";
}

ISettingsStore& UserSettings() {
  static FileSettingsStore store(DefaultSettingsPath());
  return store;
}

}  // namespace tw
