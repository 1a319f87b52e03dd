#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/trace_output.h"
#include "platform/wide_text.h"

namespace tw {
// The debugger's output window (DebugView and the like) and, for a console program, stderr.
void TraceOutput(const char* line) {
  const std::string text = std::string("tagwright: ") + line + "\n";
  OutputDebugStringW(Utf8ToWide(text).c_str());
  std::fputs(text.c_str(), stderr);
}
}  // namespace tw
