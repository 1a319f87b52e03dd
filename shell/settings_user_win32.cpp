// The program's settings store on Windows: the per-user registry key.
#include "platform/windows_api.h"
#include <knownfolders.h>
#include <shlobj.h>

#include "platform/wide_text.h"
#include "shell/registry_settings.h"

namespace tw {

// Where a settings file would be: files that belong beside the settings (the progress journal)
// go into this folder of the roaming application data.
std::string DefaultSettingsPath() {
  PWSTR path = nullptr;
  std::string base;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &path)) && path != nullptr)
    base = WideToUtf8(path);
  if (path != nullptr) CoTaskMemFree(path);
  for (char& c : base)
    if (c == '\\') c = '/';
  base.append(base.empty() ? "./" : "/");
  base.append("Velkor Applikationen/Tagwright.conf");
  return base;
}

ISettingsStore& UserSettings() {
  static RegistrySettingsStore store;
  return store;
}

}  // namespace tw
