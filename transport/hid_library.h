// The HID system libraries, loaded once when the SDK starts and freed when it ends: hidapi on
// Linux, hid.dll and SetupAPI on Windows (whose device functions take the same shapes here). Every
// entry point is looked up; HID is usable only when the required ones are there, otherwise opening
// and listing HID readers simply find nothing.
#pragma once
#include "transport/hid_api_types.h"

namespace tw {

// Environment variable naming the library to load instead of "libhidapi-hidraw.so.0".
inline constexpr const char* kHidapiLibEnv = "TAGWRIGHT_HIDAPI_LIB";

struct HidEntryPoints {
  // Required.
  hidapi::hid_enumerate_fn enumerate = nullptr;
  hidapi::hid_free_enumeration_fn freeEnumeration = nullptr;
  hidapi::hid_open_path_fn openPath = nullptr;
  hidapi::hid_write_fn write = nullptr;
  hidapi::hid_read_timeout_fn readTimeout = nullptr;
  hidapi::hid_close_fn close = nullptr;
  // Optional.
  hidapi::hid_init_fn init = nullptr;
  hidapi::hid_exit_fn exit = nullptr;
  hidapi::hid_error_fn error = nullptr;
  hidapi::hid_get_report_descriptor_fn getReportDescriptor = nullptr;
};

// Loads the library (again, if it was freed) and resolves its entry points. true when HID is usable.
bool LoadHidLibraries();
// Forgets every entry point and unloads the library. Devices must be closed before.
void FreeHidLibraries();
bool HidUsable();
// The resolved entry points; all null while HID is not loaded. Valid until FreeHidLibraries.
const HidEntryPoints& Hid();

// Per platform (hid_library_posix.cpp, hid_library_win32.cpp), called under the loader's lock:
// loads the libraries and fills e, true when HID is usable; and frees them again, old being the
// entry points that were in use.
bool LoadHidBackend(HidEntryPoints& e);
void FreeHidBackend(const HidEntryPoints& old, bool wasUsable);

}  // namespace tw
