#include "platform/process_info.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdlib>

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

namespace {
UINT consoleCodePage = 0;
void RestoreConsoleCodePage() { SetConsoleOutputCP(consoleCodePage); }
}  // namespace

std::vector<std::string> ConsoleArguments(int argc, char** argv) {
  // The console's code page outlives the program: it is given back on the way out.
  consoleCodePage = GetConsoleOutputCP();
  if (consoleCodePage != 0 && consoleCodePage != CP_UTF8 && SetConsoleOutputCP(CP_UTF8))
    std::atexit(RestoreConsoleCodePage);
  int n = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &n);
  if (wide == nullptr || n != argc) {
    if (wide != nullptr) LocalFree(wide);
    return std::vector<std::string>(argv, argv + argc);
  }
  std::vector<std::string> out;
  for (int i = 0; i < n; ++i) out.push_back(WideToUtf8(wide[i]));
  LocalFree(wide);
  return out;
}

void EndProcessAtOnce() {
  // The exit code a POSIX shell reports for a killed program, so that scripts read it alike.
  TerminateProcess(GetCurrentProcess(), 137);
  ExitProcess(137);  // not reached
}

}  // namespace tw
