#include "job/fault_point.h"

#ifdef TAGWRIGHT_FAULT_POINTS
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/process_info.h"
#endif

namespace tw {

void FaultPoint(const char* name) {
#ifdef TAGWRIGHT_FAULT_POINTS
  static const char* const spec = std::getenv("TAGWRIGHT_FAULT_POINT");
  static int passes = 0;
  if (spec == nullptr || spec[0] == '\0') return;
  const char* colon = std::strchr(spec, ':');
  const size_t len = colon != nullptr ? static_cast<size_t>(colon - spec) : std::strlen(spec);
  if (std::strlen(name) != len || std::strncmp(spec, name, len) != 0) return;
  const int nth = colon != nullptr ? std::atoi(colon + 1) : 1;
  if (++passes >= nth) EndProcessAtOnce();
#else
  (void)name;
#endif
}

}  // namespace tw
