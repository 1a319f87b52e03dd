// The program's texts by string id, in the current language. Tables are X-macro lists in
// resources/strings/<area>_de.inc and <area>_en.inc (UTF-8 source); texts are handed out as
// Windows-1252 bytes, as everything in the core is. A missing English text falls back to German.
#pragma once
#include <string>

namespace tw {

enum class Language { German = 0, English = 1 };

void SetLanguage(Language lang);
Language CurrentLanguage();

// Text of id in the current language; empty when the id is unknown.
const std::string& LoadString(int id);
const std::string& LoadString(int id, Language lang);
// printf-style formatting of a string id's text with arguments.
std::string FormatString(int id, ...);

}  // namespace tw
