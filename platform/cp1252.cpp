#include "platform/cp1252.h"

// The UTF-8 reading and the upper-casing are the same on every platform; the code page itself is
// in cp1252_<platform>.cpp.
namespace tw {

std::string Utf8ToCp1252(const std::string& in) {
  std::string out;
  out.reserve(in.size());
  size_t i = 0;
  const size_t n = in.size();
  while (i < n) {
    unsigned char c = static_cast<unsigned char>(in[i]);
    int len = 0;
    char32_t cp = 0;
    if (c < 0x80) { len = 1; cp = c; }
    else if ((c & 0xE0) == 0xC0) { len = 2; cp = c & 0x1F; }
    else if ((c & 0xF0) == 0xE0) { len = 3; cp = c & 0x0F; }
    else if ((c & 0xF8) == 0xF0) { len = 4; cp = c & 0x07; }
    bool ok = len > 0 && i + len <= n;
    for (int k = 1; ok && k < len; ++k) {
      unsigned char cc = static_cast<unsigned char>(in[i + k]);
      if ((cc & 0xC0) != 0x80) ok = false;
      else cp = (cp << 6) | (cc & 0x3F);
    }
    if (!ok) {  // not UTF-8: take the byte as Latin-1
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    out += CodePointToCp1252(cp);
    i += len;
  }
  return out;
}

namespace {

// Valid UTF-8 holding at least one character beyond ASCII.
bool IsWideUtf8(const std::string& in) {
  bool wide = false;
  for (size_t i = 0; i < in.size();) {
    const unsigned char c = static_cast<unsigned char>(in[i]);
    int len = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    if (len == 0 || i + len > in.size() || (len == 2 && c < 0xC2)) return false;
    for (int k = 1; k < len; ++k)
      if ((static_cast<unsigned char>(in[i + k]) & 0xC0) != 0x80) return false;
    wide |= len > 1;
    i += static_cast<size_t>(len);
  }
  return wide;
}

}  // namespace

bool Cp1252CanHold(const std::string& utf8) { return Cp1252ToUtf8(Utf8ToCp1252(utf8)) == utf8; }

std::string StoredTextToUtf8(const std::string& stored) {
  return IsWideUtf8(stored) ? stored : Cp1252ToUtf8(stored);
}

std::string Cp1252Upper(const std::string& s) {
  std::string out = s;
  for (char& ch : out) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c >= 'a' && c <= 'z') ch = static_cast<char>(c - 32);
    else if (c >= 0xE0 && c <= 0xFE && c != 0xF7) ch = static_cast<char>(c - 32);
    else if (c == 0x9A || c == 0x9C || c == 0x9E) ch = static_cast<char>(c - 16);
    else if (c == 0xFF) ch = static_cast<char>(0x9F);
  }
  return out;
}

}  // namespace tw
