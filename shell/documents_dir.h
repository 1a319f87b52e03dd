// The user's documents folder, home of the default protocol files. Same answer as
// "xdg-user-dir DOCUMENTS": $XDG_DOCUMENTS_DIR, else the user-dirs file, else ~/Documents.
#pragma once
#include <string>

namespace tw {

// The folder followed by "/". The folder is not created. Paths are file-system bytes.
std::string DocumentsDir();

// DocumentsDir() + name: the default protocol file names.
std::string DefaultLogFilePath(const std::string& name);

}  // namespace tw
