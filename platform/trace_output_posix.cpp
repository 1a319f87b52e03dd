#include <cstdio>

#include "platform/trace_output.h"

namespace tw {
void TraceOutput(const char* line) { std::fprintf(stderr, "tagwright: %s\n", line); }
}  // namespace tw
