// Writes one integer and one text through the program's own settings store, for the test that
// looks at the result with Wine's reg tool.
#include <cstdio>
#include <cstdlib>

#include "shell/settings_store.h"

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: settings_probe SECTION INTKEY NUMBER TEXTKEY=TEXT\n");
    return 2;
  }
  tw::ISettingsStore& store = tw::UserSettings();
  const std::string pair = argv[4];
  const size_t eq = pair.find('=');
  if (eq == std::string::npos) return 2;
  const bool ok = store.Transaction([&](tw::ISettingsView& v) {
    v.WriteProfileInt(argv[1], argv[2], std::atoi(argv[3]));
    v.WriteProfileString(argv[1], pair.substr(0, eq), pair.substr(eq + 1));
  });
  return ok && store.GetProfileInt(argv[1], argv[2], -1) == std::atoi(argv[3]) ? 0 : 1;
}
