#include "transport/vendor_libs.h"

namespace tw {
// The vendor's D2XX DLL as its driver package installs it; HID goes through a hidapi DLL beside the
// program when there is one.
const char* DefaultFtd2xxLibrary() { return "ftd2xx.dll"; }
const char* DefaultHidapiLibrary() { return "hidapi.dll"; }
}  // namespace tw
