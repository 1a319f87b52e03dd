// The names the vendor libraries have on this platform (vendor_libs_posix.cpp, vendor_libs_win32.cpp);
// the environment variables of ftd2xx_types.h and hid_api_types.h point tests at stand-ins instead.
#pragma once

namespace tw {
const char* DefaultFtd2xxLibrary();
const char* DefaultHidapiLibrary();
}  // namespace tw
