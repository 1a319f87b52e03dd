// Windows-1252 <-> UTF-8. Job data, files and settings hold Windows-1252 bytes; text is converted
// only where it meets the user interface, a terminal or a system API that speaks UTF-8.
#pragma once
#include <string>

namespace tw {

std::string Cp1252ToUtf8(const std::string& cp1252);
// Characters without a Windows-1252 form become '?'; malformed UTF-8 bytes are taken as Latin-1.
std::string Utf8ToCp1252(const std::string& utf8);
// One Unicode code point to Windows-1252, '?' when it has no form there.
char CodePointToCp1252(char32_t cp);
// Upper-case a Windows-1252 string (ASCII and the Latin-1 letters; "µ" stays as it is).
std::string Cp1252Upper(const std::string& s);

}  // namespace tw
