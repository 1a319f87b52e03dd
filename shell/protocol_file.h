// Protocol files: one numbered, time-stamped, tab-separated line per transponder written or read,
// appended in Windows-1252 with CR LF. Numbering continues the lines already in the file.
#pragma once
#include <ctime>
#include <string>

#include "sdk/my_byte_array.h"

namespace tw {

// The job state that one protocol line records.
struct ProtocolLineInput {
  CMyByteArray uid;      // byte 0 is the least significant
  int numberFormat = 1;  // 0 none, 1 decimal, 2 hexadecimal
  int display = 0;       // 0 binary, 1 ASCII
  int orientation = 0;   // 0 normal, 1 reversed
  int startBlock = 0;
  int byteCount = 4;
  std::string valueText;  // Windows-1252, as in the value field
};

// String ids of the labels in fields 4 to 6.
enum ProtocolStringId {
  IDS_PROT_FORMAT_NONE = 232,  // "---"
  IDS_PROT_FORMAT_HEX = 235,   // "Hex"
  IDS_PROT_FORMAT_DEC = 236,   // "Dez"
  IDS_PROT_NORMAL = 237,
  IDS_PROT_REVERSED = 238,
  IDS_PROT_ASCII = 239,
  IDS_PROT_BINARY = 240,
  IDS_CHOOSE_WRITE_LOG = 32844,  // title of the file dialog choosing the write log
  IDS_CHOOSE_READ_LOG = 32845,   // ... the read log
};

// File dialog filter and default extension for choosing a protocol file.
inline constexpr char kLogFileFilter[] = "Log Files (*.txt)|*.txt| All Files (*.*)|*.*||";
inline constexpr char kLogFileDefaultExt[] = "txt";

// The UID as upper-case hex, most significant byte first: 4, 5, 6 and 8 bytes; empty otherwise.
std::string FormatProtocolUid(const CMyByteArray& uid);
// Such a UID back to its bytes; empty when the text is no even number of hex digits.
CMyByteArray ParseProtocolUid(const std::string& hex);

// Fields 2 to 9 of a line for the local time `now`, ending in CR LF; labels in the current
// language. The line number and its TAB are put in front when the line is appended.
std::string BuildProtocolLineBody(const ProtocolLineInput& in, std::time_t now);

// Appends one line for `in` (time: now) to the protocol file at path, numbered one past the lines
// already in it; the file is created when missing. The line goes out in one write and is flushed
// to disk before this returns. True when it was written; false when not (empty path, missing
// folder, read-only file, disk full), so that the caller can warn the operator.
// The line count is remembered per file with its identity, size and modification time, so a
// write to a long file costs no more than one to a short file unless the file changed meanwhile.
bool WriteProtocolLine(const std::string& path, const ProtocolLineInput& in);
// The same with the line body already built (BuildProtocolLineBody).
bool AppendProtocolLine(const std::string& path, const std::string& body);

// Number of lines in the file as the numbering counts them: every LF ends a line, and a last line
// without a line end counts as well. -1 when the file cannot be read.
long long CountProtocolLines(const std::string& path);

}  // namespace tw
