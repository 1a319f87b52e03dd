#include "shell/import_file.h"

#include <climits>
#include <cstring>

#include "shell/file_prims.h"

namespace tw {

CImportFile::~CImportFile() { Close(); }

bool CImportFile::Open(const std::string& path) {
  Close();
  lineCount_ = 0;
  std::FILE* f = OpenStream(path, "rb");
  if (f == nullptr) return false;
  static thread_local char buf[1 << 16];
  long long lineFeeds = 0;
  bool endsWithLineFeed = true;
  for (;;) {
    size_t r = std::fread(buf, 1, sizeof buf, f);
    if (r == 0) break;
    for (const char* p = buf;
         (p = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(buf + r - p)))) != nullptr;
         ++p)
      ++lineFeeds;
    endsWithLineFeed = buf[r - 1] == '\n';
  }
  if (std::ferror(f) != 0 || std::fseek(f, 0, SEEK_SET) != 0) {
    std::fclose(f);
    return false;
  }
  lineCount_ = lineFeeds + (endsWithLineFeed ? 0 : 1);
  file_ = f;
  return true;
}

void CImportFile::Close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

bool CImportFile::ReadLine(std::string& line) {
  line.clear();
  if (file_ == nullptr) return false;
  int c = ReadChar(file_);
  if (c == EOF) return false;
  for (; c != EOF && c != '\n'; c = ReadChar(file_))
    if (line.size() < kMaxLineBytes) line += static_cast<char>(c);
  // CR LF ends a line as LF does; a CR anywhere else is part of the value.
  if (c == '\n' && !line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

bool CDataImport::TakeLine(std::string& line) {
  if (!peeked_) return file_.ReadLine(line);
  peeked_ = false;
  line = std::move(peekedLine_);
  return !peekedEnd_;
}

bool CDataImport::PeekNextLine(std::string& line) {
  if (!file_.IsOpen()) return false;
  if (!peeked_) {
    peekedEnd_ = !file_.ReadLine(peekedLine_);
    peeked_ = true;
  }
  line = peekedLine_;
  return !peekedEnd_;
}

ImportOpenResult CDataImport::OpenImportFile(int n, std::string& valueText) {
  Close();
  if (importFile.empty()) return ImportOpenResult::CannotOpen;
  if (!file_.Open(importFile)) return ImportOpenResult::CannotOpen;
  importLineCount = file_.LineCount() > INT_MAX ? INT_MAX : static_cast<int>(file_.LineCount());
  importLinesUsed = 0;
  std::string skipped;
  for (int i = 1; i < n; ++i) {
    if (!TakeLine(skipped)) {
      Close();
      importFile.clear();
      return ImportOpenResult::Invalid;
    }
    ++importLinesUsed;
  }
  return ReadNextImportLine(valueText) ? ImportOpenResult::Loaded : ImportOpenResult::Invalid;
}

bool CDataImport::ReadNextImportLine(std::string& valueText) {
  if (file_.IsOpen()) {
    ++importLinesUsed;
    counterText = std::to_string(importLinesUsed) + " / " + std::to_string(importLineCount);
    std::string line;
    if (TakeLine(line)) {
      valueText = std::move(line);
      return true;
    }
    Close();
  }
  counterText.clear();
  valueText.clear();
  importFile.clear();
  return false;
}

}  // namespace tw
