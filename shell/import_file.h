// Data import files: one value per line, taken in order, one line per transponder written.
// CImportFile reads the lines; CDataImport keeps the import state of the main dialog (file name,
// lines used, line count, counter text) and implements opening at a saved position.
#pragma once
#include <cstdio>
#include <string>

namespace tw {

// String ids of this module.
enum ImportStringId {
  IDS_IMPORT_FILTER = 146,   // file dialog filter for data files
  IDS_IMPORT_CHOOSE = 147,   // "Eingabedatei wählen"
  IDS_IMPORT_INVALID = 148,  // "Ungültige Datendatei"
};

// A data file opened for reading. A line ends at LF or CR LF (a lone CR stays in the line); a last
// line without a line end counts; empty lines count. Lines longer than kMaxLineBytes are cut to
// that length (the rest of the line is skipped), so a file without line ends cannot exhaust memory.
class CImportFile {
 public:
  CImportFile() = default;
  ~CImportFile();
  CImportFile(const CImportFile&) = delete;
  CImportFile& operator=(const CImportFile&) = delete;

  // Opens path, counts its lines and stands at the first line. False when it cannot be opened.
  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return file_ != nullptr; }
  // Lines counted at opening; a file replaced or grown later keeps this count.
  long long LineCount() const { return lineCount_; }
  // The next line without its line end; false at the end of the file.
  bool ReadLine(std::string& line);

  static constexpr size_t kMaxLineBytes = 16u << 20;

 private:
  std::FILE* file_ = nullptr;
  long long lineCount_ = 0;
};

// Result of CDataImport::OpenImportFile.
enum class ImportOpenResult {
  Loaded,      // the line is in valueText; the caller now runs its input checks
  CannotOpen,  // no file name, or the file cannot be opened: no message
  Invalid,     // saved position beyond the end, or no line: show IDS_IMPORT_INVALID
};

class CDataImport {
 public:
  std::string importFile;   // full path; empty = none
  int importLinesUsed = 0;  // 1-based number of the line now in the value field
  int importLineCount = 0;  // lines the file had when it was opened
  std::string counterText;  // "%d / %d" of importLinesUsed and importLineCount

  // Opens importFile and loads line n (0 and 1 both mean the first) into valueText; a data file
  // that is open is closed first. CannotOpen changes nothing else (the caller forgets the name).
  // Invalid: a position beyond the end closes the file and empties importFile; an empty file
  // fails as ReadNextImportLine does. After Loaded the caller runs the dialog's input checks and
  // shows IDS_IMPORT_INVALID when they fail, as for Invalid.
  ImportOpenResult OpenImportFile(int n, std::string& valueText);

  // Loads the next line into valueText. At the end of the data (or with no file open) the file
  // is closed, counterText, valueText and importFile are emptied and false is returned.
  bool ReadNextImportLine(std::string& valueText);

  // The line that ReadNextImportLine will load next, without taking it; false at the end of the
  // data or with no file open.
  bool PeekNextLine(std::string& line);

  // Closes the data file; name, position and counter stay.
  void Close() {
    file_.Close();
    peeked_ = false;
  }
  bool IsOpen() const { return file_.IsOpen(); }

 private:
  bool TakeLine(std::string& line);

  CImportFile file_;
  bool peeked_ = false;  // peekedLine_ is the next line; peekedEnd_: the data ended there
  bool peekedEnd_ = false;
  std::string peekedLine_;
};

}  // namespace tw
