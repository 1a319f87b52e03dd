// Text helpers of the simulator.
#include "sim/core/sim_text.h"

namespace tw::sim {

static int Nibble(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool ParseHexBytes(const std::string& text, std::vector<uint8_t>& out) {
  out.clear();
  int high = -1;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == ',') {
      if (high >= 0) return false;  // a lone digit inside the list
      continue;
    }
    const int v = Nibble(c);
    if (v < 0) return false;
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<uint8_t>(high << 4 | v));
      high = -1;
    }
  }
  return high < 0;
}

bool ValidVersion(const std::string& kind, const std::vector<uint8_t>& v) {
  if (kind == "version") return v.size() == 4;
  if (kind == "version-text") return v.size() > 4 && v.size() <= 255;
  if (kind == "version-short") return v.size() < 4;
  return false;
}

std::string VersionRule(const std::string& kind) {
  if (kind == "version") return "exactly 4 characters (3 type digits and a revision, e.g. 243A)";
  if (kind == "version-text") return "5 to 255 characters";
  return "0 to 3 characters";
}

}  // namespace tw::sim
