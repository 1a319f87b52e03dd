#include "shell/documents_dir.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

namespace tw {
namespace {

std::string HomeDir() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return home;
  const passwd* pw = ::getpwuid(::getuid());
  return pw != nullptr && pw->pw_dir != nullptr ? pw->pw_dir : "/";
}

std::string ConfigHome(const std::string& home) {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') return xdg;
  return home + "/.config";
}

// XDG_DOCUMENTS_DIR="$HOME/Dokumente" or an absolute path in quotes, shell escapes allowed.
bool ReadUserDirsFile(const std::string& file, const std::string& home, std::string& out) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  std::string line;
  bool found = false;
  while (std::getline(in, line)) {
    size_t i = line.find_first_not_of(" \t");
    if (i == std::string::npos || line[i] == '#') continue;
    const std::string key = "XDG_DOCUMENTS_DIR";
    if (line.compare(i, key.size(), key) != 0) continue;
    i += key.size();
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= line.size() || line[i] != '=') continue;
    ++i;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= line.size() || line[i] != '"') continue;
    ++i;
    std::string value;
    if (line.compare(i, 5, "$HOME") == 0) {
      value = home;
      i += 5;
    } else if (i >= line.size() || line[i] != '/') {
      continue;  // only absolute paths and $HOME-relative ones are valid
    }
    bool closed = false;
    for (; i < line.size(); ++i) {
      if (line[i] == '\\' && i + 1 < line.size()) {
        value += line[++i];
      } else if (line[i] == '"') {
        closed = true;
        break;
      } else {
        value += line[i];
      }
    }
    if (!closed) continue;
    out = value;  // the last assignment wins, as when the shell sources the file
    found = true;
  }
  return found;
}

}  // namespace

std::string DocumentsDir() {
  const std::string home = HomeDir();
  std::string dir;
  const char* env = std::getenv("XDG_DOCUMENTS_DIR");
  if (env != nullptr && env[0] != '\0') {
    dir = env;
  } else if (!ReadUserDirsFile(ConfigHome(home) + "/user-dirs.dirs", home, dir)) {
    dir = home + "/Documents";
  }
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  if (dir != "/") dir += '/';
  return dir;
}

std::string DefaultLogFilePath(const std::string& name) { return DocumentsDir() + name; }

}  // namespace tw
