// Diagnostic trace lines to stderr, enabled by the environment variable TAGWRIGHT_TRACE.
// Used where the original design writes debug output; never shown to an operator.
#pragma once
#include <cstdint>
#include <cstddef>

namespace tw {

bool TraceEnabled();
#if defined(__MINGW32__)
void Trace(const char* fmt, ...) __attribute__((format(gnu_printf, 1, 2)));
#else
void Trace(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
#endif
// "prefix: 02 01 F0 00 F1"
void TraceHex(const char* prefix, const uint8_t* data, size_t len);

}  // namespace tw
