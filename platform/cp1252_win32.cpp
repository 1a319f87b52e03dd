#include <windows.h>

#include "platform/cp1252.h"
#include "platform/wide_text.h"

namespace tw {
namespace {
constexpr UINT kWindows1252 = 1252;
}

std::string Cp1252ToUtf8(const std::string& in) {
  if (in.empty()) return {};
  const int n = static_cast<int>(in.size());
  std::wstring wide(static_cast<size_t>(n), L'\0');
  // Every byte has a form (the five unassigned ones stay the C1 controls), so the count is n.
  const int got = MultiByteToWideChar(kWindows1252, 0, in.data(), n, wide.data(), n);
  wide.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return WideToUtf8(wide);
}

char CodePointToCp1252(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
  wchar_t w[2];
  int wn = 1;
  if (cp >= 0x10000) {
    if (cp > 0x10FFFF) return '?';
    w[0] = static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10));
    w[1] = static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    wn = 2;
  } else {
    w[0] = static_cast<wchar_t>(cp);
  }
  char out[4] = {};
  BOOL usedDefault = FALSE;
  const int n = WideCharToMultiByte(kWindows1252, WC_NO_BEST_FIT_CHARS, w, wn, out, sizeof out, "?",
                                    &usedDefault);
  // A C1 control without a character of its own stays the byte it was (the unassigned positions).
  if (n != 1 || usedDefault) return cp >= 0x80 && cp < 0xA0 ? static_cast<char>(cp) : '?';
  return out[0];
}

}  // namespace tw
