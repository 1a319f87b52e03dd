// The import line reader on any file contents: the count taken at opening equals the lines read,
// the lines put back together give the file (CR LF read as LF), and opening at any position either
// loads that line or reports an invalid file.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "shell/import_file.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

std::string Normalised(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  int fd = ::memfd_create("import", MFD_CLOEXEC);
  if (fd < 0) return 0;
  if (::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    ::close(fd);
    return 0;
  }
  const std::string path = "/proc/self/fd/" + std::to_string(fd);

  tw::CImportFile file;
  Check(file.Open(path));
  std::string rebuilt, line;
  long long lines = 0;
  while (file.ReadLine(line)) {
    if (lines > 0) rebuilt += '\n';
    rebuilt += line;
    ++lines;
  }
  if (!text.empty() && text.back() == '\n') rebuilt += '\n';
  Check(lines == file.LineCount());
  Check(rebuilt == Normalised(text));

  tw::CDataImport imp;
  imp.importFile = path;
  std::string value;
  const int n = size > 0 ? data[0] % 8 : 0;
  tw::ImportOpenResult r = imp.OpenImportFile(n, value);
  const long long wanted = n <= 1 ? 1 : n;
  Check((r == tw::ImportOpenResult::Loaded) == (wanted <= lines));
  if (r == tw::ImportOpenResult::Loaded)
    Check(imp.importLinesUsed == wanted);
  else
    Check(imp.importFile.empty());
  ::close(fd);
  return 0;
}
