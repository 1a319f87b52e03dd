// ParseText on any bytes: never crashes, and the written text is stable: parsing it again gives
// the same document and the same values, unless the document holds one of the three shapes that
// the file format cannot carry (an entry without a name, an entry that would read back as a
// header, entries under a header with nothing between its brackets).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "shell/ini_ex.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

bool Representable(const tw::CIniEx& d) {
  const auto& sections = d.Sections();
  for (size_t i = 0; i < sections.size(); ++i) {
    const tw::CSection& s = sections[i];
    if (i > 0 && s.name.empty() && !s.entryNames.empty()) return false;
    for (size_t k = 0; k < s.entryNames.size(); ++k) {
      const std::string& n = s.entryNames[k];
      const std::string& v = s.entryValues[k];
      if (n.empty()) return false;
      if (n.front() == '[' && !v.empty() && v.back() == ']') return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  tw::CIniEx first;
  first.ParseText(text);
  for (const tw::CSection& s : first.Sections()) Check(s.entryNames.size() == s.entryValues.size());
  const std::string written = first.ToText();

  tw::CIniEx second;
  second.ParseText(written);
  if (Representable(first)) {
    Check(second.ToText() == written);
    for (const tw::CSection& s : first.Sections()) {
      if (s.name.empty()) continue;
      for (const std::string& name : s.entryNames) {
        if (!name.empty() && name.front() == ';') continue;
        Check(first.GetProfileString(s.name, name, "\x01") == second.GetProfileString(s.name, name, "\x01"));
      }
    }
  }

  // A write is read back as written, whatever the document held.
  if (size > 2) {
    const std::string section = text.substr(0, size / 3), key = text.substr(size / 3, size / 3);
    second.WriteProfileString(section, key, "v");
    Check(second.GetProfileString(section, key, "") == "v");
    second.WriteProfileInt(section, key, -12);
    Check(second.GetProfileInt(section, key, 0) == -12);
  }
  return 0;
}
