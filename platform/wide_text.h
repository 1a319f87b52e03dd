// UTF-8 <-> UTF-16 for the wide Win32 functions (Windows build only). Paths and texts that meet
// the system are handed over as UTF-16; inside the program they are UTF-8.
#pragma once
#include <string>

namespace tw {

std::wstring Utf8ToWide(const std::string& utf8);
std::string WideToUtf8(const std::wstring& wide);
std::string WideToUtf8(const wchar_t* wide);
// The text of a Win32 error code (FormatMessage), without the trailing line break.
std::string Win32ErrorText(unsigned long err);

}  // namespace tw
