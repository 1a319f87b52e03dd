#include "platform/trace.h"

#include "platform/trace_output.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

namespace tw {
namespace {
std::mutex gTraceLock;
}

bool TraceEnabled() {
  static const bool enabled = std::getenv("TAGWRIGHT_TRACE") != nullptr;
  return enabled;
}

void Trace(const char* fmt, ...) {
  if (!TraceEnabled()) return;
  char buf[1024];
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  std::lock_guard<std::mutex> lock(gTraceLock);
  TraceOutput(buf);
}

void TraceHex(const char* prefix, const uint8_t* data, size_t len) {
  if (!TraceEnabled()) return;
  std::string line;
  char hex[4];
  for (size_t i = 0; i < len; ++i) {
    std::snprintf(hex, sizeof hex, "%02X ", data[i]);
    line += hex;
  }
  Trace("%s: %s", prefix, line.c_str());
}

}  // namespace tw
