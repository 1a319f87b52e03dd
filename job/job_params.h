// The job: every field that says what is written to or read from a transponder, with its default,
// the table of the nine offered transponder types with their block geometry, the modulation choices,
// and the small derived quantities (blocks used, value width, hex text) that the job logic shares.
#pragma once
#include <cstdint>
#include <string>

namespace tw {

// Transponder type codes of the reader SDK that the job offers.
enum TransponderTypeCode : int {
  kTypeHitag2 = 2,
  kTypeAta5555 = 3,
  kTypeHitagS = 4,
  kTypeHitag1 = 5,
  kTypeEm4450 = 6,
  kTypeEm4305 = 8,
  kTypeAta5577 = 9,
  kTypeHitagMu = 10,
  kTypeSic7888 = 12,
};

enum NumberFormat : int { kFormatNone = 0, kFormatDecimal = 1, kFormatHex = 2 };
enum Display : int { kDisplayBinary = 0, kDisplayAscii = 1 };
enum Orientation : int { kOrientationNormal = 0, kOrientationRotated = 1 };

// Edit limits of the credential fields (characters).
constexpr int kPasswordMaxChars = 8;
constexpr int kTagPasswordMaxChars = 8;
constexpr int kAuthKeyMaxChars = 12;
// Largest value a range field may hold: each one ends up in one byte of an EM4450 word.
constexpr uint32_t kRangeFieldMax = 255;

// The job fields of the main dialog (and of the command-line tool). Flags are ints used as 0/1.
// Text fields hold Windows-1252 bytes.
struct JobParams {
  int transponderType = kTypeHitagS;
  int startBlock = 0;
  int byteCount = 4;
  int numberFormat = kFormatDecimal;
  int display = kDisplayBinary;
  int orientation = kOrientationNormal;
  std::string valueText;
  int autoIncrement = 1;
  int leadingZeros = 0;
  int allowExtraText = 0;
  int importData = 0;
  std::string importFile;
  int importLinesUsed = 0;  // lines of importFile already taken
  std::string password = "5A3C9E17";
  std::string tagPassword = "6B2D91";
  int passwordActive = 0;
  int readWithPassword = 0;
  int authMode = 0;
  std::string authKey;
  int lockUsedBlocks = 0;
  int readAfterWrite = 0;
  int modulation = 0;  // index into the modulation table
  uint32_t readProtectFirst = 0;
  uint32_t readProtectLast = 0;
  uint32_t writeProtectFirst = 0;
  uint32_t writeProtectLast = 0;
  uint32_t autoreadFirst = 0;
  uint32_t autoreadLast = 0;
  int logWrites = 0;
  int logReads = 0;
  std::string writeLogFile;
  std::string readLogFile;
  int cycleTime = 250;  // ms
  int beepTime = 300;   // ms, 0 = silent
};

// One row of the transponder type table. Every type has 4-byte blocks.
struct TransponderTypeInfo {
  const char* name;  // combo text, Windows-1252 ("Hitag \xB5")
  int code;
  int firstBlock;
  int lastBlock;  // without a password; see LastBlock()
};

// A job shared by several stations keeps each station's own protocol files and timings: copies
// them from station into job.
void KeepStationFields(JobParams& job, const JobParams& station);

constexpr int kTransponderTypeCount = 9;
// The nine rows in combo order.
const TransponderTypeInfo* TransponderTypes();
// The row of a code, or nullptr for a code that is not offered.
const TransponderTypeInfo* FindTransponderType(int code);

// First and last block a job may use; ATA5555/ATA5577 lose block 7 to the password when
// passwordActive is set. Unknown codes give 0 and 0.
int FirstBlock(int code);
int LastBlock(int code, bool passwordActive);
// (last - first + 1) * 4, or 0 for an unknown code.
int CapacityBytes(int code, bool passwordActive);

// Combo text of a code; an unknown code gives "Hitag S".
std::string TypeNameFromCode(int code);
// Code of the first row whose text equals name regardless of letter case (Windows-1252 letters
// included); an unknown name gives 4 (Hitag S).
int TypeCodeFromName(const std::string& name);

// Modulation choices: combo text and the reader code that LF_SetModulation takes.
constexpr int kModulationCount = 4;
const char* ModulationName(int index);  // nullptr outside 0-3
int ModulationReaderCode(int index);    // reader code of index; index 0's code outside 0-3

// (byteCount + 3) / 4 with integer division, computed without overflow.
int BlocksUsed(int byteCount);
// startBlock + blocks used - 1, saturated to the int range.
int LastBlockWritten(const JobParams& job);

// True when every character is 0-9, A-F or a-f (an empty text is a hex text).
bool IsHexText(const std::string& text);

// Decimal digits of the largest unsigned number of n bytes: 0,3,5,8,10,13,15,17,20 for 0-8, 20 above.
int DecimalDigitsForBytes(int n);
// Width W of the value: n for ASCII display, 2n for binary none/hex, the decimal digit count for
// binary decimal. Also the character limit of the value edit. Negative n counts as 0; the result
// saturates at INT32_MAX.
int ValueCharLimit(const JobParams& job);

}  // namespace tw
