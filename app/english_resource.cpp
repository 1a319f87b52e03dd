// The English resource library "TagwrightEng.so": the English texts of every area, under the same
// ids as the German ones. The program switches to English only when this library loads beside it.
#include <cstddef>

namespace {
struct Entry {
  int id;
  const char* utf8;
};
const Entry kEnglish[] = {
#define TW_STR(id, text) {id, text},
#include "resources/strings/all_en.inc"
#undef TW_STR
};
}  // namespace

extern "C" {
__attribute__((visibility("default"))) int TwEnglishTextCount() {
  return static_cast<int>(sizeof kEnglish / sizeof kEnglish[0]);
}
// The English text of id (UTF-8), or nullptr.
__attribute__((visibility("default"))) const char* TwEnglishText(int id) {
  for (const Entry& e : kEnglish)
    if (e.id == id) return e.utf8;
  return nullptr;
}
}
