#include "transport/vendor_libs.h"

namespace tw {
// The vendor's D2XX DLL as its driver package installs it.
const char* DefaultFtd2xxLibrary() { return "ftd2xx.dll"; }
}  // namespace tw
