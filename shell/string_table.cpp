#include "shell/string_table.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <unordered_map>

#include "platform/cp1252.h"

namespace tw {
namespace {

struct Entry {
  int id;
  const char* utf8;
};

const Entry kGerman[] = {
#define TW_STR(id, text) {id, text},
#include "resources/strings/all_de.inc"
#undef TW_STR
};

const Entry kEnglish[] = {
#define TW_STR(id, text) {id, text},
#include "resources/strings/all_en.inc"
#undef TW_STR
};

using Table = std::unordered_map<int, std::string>;

Table Build(const Entry* begin, const Entry* end) {
  Table t;
  for (const Entry* e = begin; e != end; ++e) t[e->id] = Utf8ToCp1252(e->utf8);
  return t;
}

const Table& German() {
  static const Table t = Build(std::begin(kGerman), std::end(kGerman));
  return t;
}
const Table& English() {
  static const Table t = Build(std::begin(kEnglish), std::end(kEnglish));
  return t;
}

std::atomic<Language> gLanguage{Language::German};
const std::string kEmpty;

}  // namespace

void SetLanguage(Language lang) { gLanguage = lang; }
Language CurrentLanguage() { return gLanguage; }

const std::string& LoadString(int id, Language lang) {
  if (lang == Language::English) {
    auto it = English().find(id);
    if (it != English().end()) return it->second;
  }
  auto it = German().find(id);
  return it != German().end() ? it->second : kEmpty;
}

const std::string& LoadString(int id) { return LoadString(id, gLanguage); }

std::string FormatString(int id, ...) {
  const std::string& fmt = LoadString(id);
  va_list ap;
  va_start(ap, id);
  va_list ap2;
  va_copy(ap2, ap);
  int n = vsnprintf(nullptr, 0, fmt.c_str(), ap);
  va_end(ap);
  std::string out;
  if (n > 0) {
    out.resize(static_cast<size_t>(n) + 1);
    vsnprintf(out.data(), out.size(), fmt.c_str(), ap2);
    out.resize(static_cast<size_t>(n));
  }
  va_end(ap2);
  return out;
}

}  // namespace tw
