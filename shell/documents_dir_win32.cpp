// The user's documents folder from the shell's known folders.
#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include "platform/wide_text.h"
#include "shell/documents_dir.h"

namespace tw {

std::string DocumentsDir() {
  PWSTR path = nullptr;
  std::string dir;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, &path)) && path != nullptr)
    dir = WideToUtf8(path);
  if (path != nullptr) CoTaskMemFree(path);
  // Appended, not assigned: GCC 12 warns falsely about a literal assigned to a string here.
  if (dir.empty()) dir += '.';
  if (dir.back() != '\\' && dir.back() != '/') dir += '\\';
  return dir;
}

std::string DefaultLogFilePath(const std::string& name) { return DocumentsDir() + name; }

}  // namespace tw
