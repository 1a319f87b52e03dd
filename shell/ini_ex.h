// INI documents kept whole in memory: sections, entries, comments and their order survive a
// rewrite, so settings files written by other programs keep everything we do not touch.
// CPrivateProfile attaches a document to a file and writes it back on destruction when changed.
#pragma once
#include <string>
#include <vector>

namespace tw {

// One section. A comment line is an entry whose name is the whole line (starting with ';') and
// whose value is empty. entryValues is always as long as entryNames.
class CSection {
 public:
  std::string name;  // empty before the first header and for filler sections
  std::vector<std::string> entryNames;
  std::vector<std::string> entryValues;
};

class CIniEx {
 public:
  CIniEx() = default;
  // Attached for writing: Save(); then everything is released.
  virtual ~CIniEx();
  CIniEx(const CIniEx&) = delete;
  CIniEx& operator=(const CIniEx&) = delete;

  // Attaches the document to path: creates the file (empty) when missing, reads and parses it.
  // Waits while another process holds its lock (10 ms steps, at most kLockWaitMs; after that the
  // file is read anyway, which is safe because every writer replaces the file atomically).
  // False when the file cannot be opened or created; the document then stays empty and unattached.
  bool Open(const std::string& path);

  // Parses INI text into the document, appending to what it holds. Never fails: any bytes are
  // taken literally; runs of CR/LF separate lines, so blank lines vanish.
  void ParseText(const std::string& text);

  // Lookups use the first section and the last entry of that name, ignoring letter case.
  std::string GetProfileString(const std::string& section, const std::string& entry,
                               const std::string& def) const;
  // Decimal value (leading white space and one sign allowed, stops at the first non-digit, no
  // digits give 0); def when the entry is missing or its value is empty.
  int GetProfileInt(const std::string& section, const std::string& entry, int def) const;

  // Sets the value, adding section and entry when missing. Marks the document modified when
  // something was added or the value changed other than in letter case.
  void WriteProfileString(const std::string& section, const std::string& entry, const std::string& value);
  void WriteProfileInt(const std::string& section, const std::string& entry, int value);
  // Whether the lookup finds the entry.
  bool HasEntry(const std::string& section, const std::string& entry) const;

  // When modified and attached, replaces the file atomically (temporary file in the same folder,
  // flushed, renamed over the old one, old mode kept). True when the file now holds the document
  // (also when nothing needed writing); false when the write failed: the old file is then intact
  // and the document stays modified. A read-only file or missing folder is not written.
  bool Save();

  // The document as file text: "[name]" headers for named sections, comments as they stand,
  // "name=value" (just the value for an empty name), each line ended by CR LF.
  std::string ToText() const;

  const std::string& Path() const { return path_; }
  bool IsModified() const { return modified_; }
  const std::vector<CSection>& Sections() const { return sections_; }

  static constexpr int kLockWaitMs = 5000;

 protected:
  int FindSection(const std::string& section) const;
  static int FindEntry(const CSection& s, const std::string& entry);

  std::string path_;
  std::vector<CSection> sections_;
  int currentSection_ = 0;
  bool modified_ = false;
  bool writable_ = false;
};

class CPrivateProfile : public CIniEx {
 public:
  // Empty document, no file; destruction writes nothing.
  CPrivateProfile() = default;
  // Attaches to path (see Open); written back on destruction when modified.
  explicit CPrivateProfile(const std::string& path);
  ~CPrivateProfile() override = default;
};

// Letter case folded as names are compared: ASCII and the Latin letters of Windows-1252.
unsigned char FoldCaseCp1252(unsigned char c);
// Case-insensitive equality of Windows-1252 text, as names are compared in INI documents.
bool EqualsNoCase(const std::string& a, const std::string& b);

// The integer reading of GetProfileInt for a non-empty value.
int ParseProfileInt(const std::string& value);

}  // namespace tw
