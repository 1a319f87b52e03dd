#include "transport/vendor_libs.h"

namespace tw {
const char* DefaultFtd2xxLibrary() { return "libftd2xx.so"; }
}  // namespace tw
