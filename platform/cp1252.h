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
// Whether every character of the UTF-8 text has a Windows-1252 form (a path kept in settings must).
bool Cp1252CanHold(const std::string& utf8);
// Text kept in a settings store or file (Windows-1252) as UTF-8. Text that is already valid UTF-8
// with characters beyond ASCII is taken as it is: earlier versions kept such paths unconverted.
std::string StoredTextToUtf8(const std::string& stored);
// Upper-case a Windows-1252 string (ASCII and the Latin-1 letters; "µ" stays as it is).
std::string Cp1252Upper(const std::string& s);

}  // namespace tw
