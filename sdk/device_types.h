// Reader identification: what the version answer says about the model (type code, firmware
// revision, capability word), whether the model can write transponders, and its display name.
#pragma once
#include <cstdint>
#include <string>

#include "sdk/my_byte_array.h"

namespace tw {

struct ReaderIdentity {
  int typeCode = 0;
  uint8_t revision = 0;
  uint16_t capabilityWord = 0;
};

// Revision character: '0'-'9' 0-9, 'A'-'Z' 10-35, 'a'-'z' 36-61, anything else 255.
uint8_t RevisionFromChar(uint8_t c);
// Leading hexadecimal digits of up to the first three bytes; a non-hex character ends the number.
int HexTypeCode(const uint8_t* data, size_t len);
// Evaluation of a version answer's data bytes (4 bytes, fewer, or a longer text answer).
ReaderIdentity EvaluateVersion(const CMyByteArray& answer);
// An answer shaped like a version answer: three hex digits and a revision letter or digit, or a
// text of printable characters. Other answers are still evaluated, but may belong to another
// command.
bool IsWellFormedVersionAnswer(const CMyByteArray& answer);
uint16_t CapabilityWord(int typeCode, int revision);
bool CanWrite(int typeCode);

struct ModelRow {
  int code;
  const char* name;
};
// The model table in search order.
const ModelRow* ModelTable(size_t* count);
// Name for a version answer: "---" for fewer than 3 bytes, the table's name, or "QZ-#" + the three
// characters as received.
std::string ModelName(const CMyByteArray& answer);
// "FW V1.05" for revision 5.
std::string FirmwareText(int revision);

}  // namespace tw
