#include "transport/vendor_libs.h"

namespace tw {
const char* DefaultFtd2xxLibrary() { return "libftd2xx.so"; }
const char* DefaultHidapiLibrary() { return "libhidapi-hidraw.so.0"; }
}  // namespace tw
