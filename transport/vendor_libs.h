// The name the D2XX library has on this platform (vendor_libs_posix.cpp, vendor_libs_win32.cpp);
// the environment variable of ftd2xx_types.h points tests at a stand-in instead.
#pragma once

namespace tw {
const char* DefaultFtd2xxLibrary();
}  // namespace tw
