// Where a program finds its private files (the English resource library, helper programs) and its
// documentation. In a build folder they lie beside the program; in an installed tree they lie in
// lib/tagwright and share/doc/tagwright next to the program's bin folder.
#pragma once
#include <sys/stat.h>

#include <string>

#include "tw_install_dirs.h"

namespace tw {

inline bool IsDirectory(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// True when programDir is the bin folder of an installed tree.
inline bool IsInstalledProgramDir(const std::string& programDir) {
  return IsDirectory(programDir + "/" TW_PRIVATE_FROM_BIN);
}

// The folder of the private files that belong to the program in programDir.
inline std::string PrivateDir(const std::string& programDir) {
  return IsInstalledProgramDir(programDir) ? programDir + "/" TW_PRIVATE_FROM_BIN : programDir;
}

// The documentation folder of an installed tree; empty in a build folder.
inline std::string DocDir(const std::string& programDir) {
  const std::string dir = programDir + "/" TW_DOC_FROM_BIN;
  return IsDirectory(dir) ? dir : std::string();
}

}  // namespace tw
