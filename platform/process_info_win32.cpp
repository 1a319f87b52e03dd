#include "platform/process_info.h"

#include <windows.h>

#include "platform/wide_text.h"

namespace tw {

long ProcessId() { return static_cast<long>(GetCurrentProcessId()); }

std::string HostName() {
  wchar_t name[256] = {};
  DWORD size = static_cast<DWORD>(sizeof name / sizeof name[0]);
  if (!GetComputerNameExW(ComputerNameDnsHostname, name, &size)) return std::string();
  return WideToUtf8(std::wstring(name, size));
}

std::string ProgramDir() {
  std::wstring buf(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return ".";
    if (n < buf.size()) {
      buf.resize(n);
      break;
    }
    buf.resize(buf.size() * 2);  // a long path (\\?\...) cut off: try with more room
  }
  std::string path = WideToUtf8(buf);
  for (char& c : path)
    if (c == '\\') c = '/';
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

void EndProcessAtOnce() {
  // The exit code a POSIX shell reports for a killed program, so that scripts read it alike.
  TerminateProcess(GetCurrentProcess(), 137);
  ExitProcess(137);  // not reached
}

}  // namespace tw
