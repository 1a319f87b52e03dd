// windows.h for the Windows backends, without the macros that would rename the project's own
// names (GetProfileInt and friends of the settings store).
#pragma once
#include <windows.h>

#undef GetProfileInt
#undef GetProfileString
#undef WriteProfileString
