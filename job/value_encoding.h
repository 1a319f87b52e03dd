// Value encoding: the operator's value text (Windows-1252, one character per byte) to exactly
// byteCount tag bytes and back, the canonical form and counting up of a value, the text conversion
// of the display switch, and the hex text to bytes conversion of passwords and keys.
#pragma once
#include <cstdint>
#include <string>

#include "job/job_params.h"
#include "sdk/my_byte_array.h"

namespace tw {

class IJobView;
class StatusReporter;

// Largest byte count that the encoding handles; larger counts fit no transponder and would only
// ask for huge buffers.
constexpr int kMaxValueBytes = 4096;

// 0-9, A-F, a-f to 0-15; every other character to FFh.
uint8_t HexDigitValue(char c);

// valueText-like text to byteCount bytes under the job's format, display and orientation.
// Fails (out empty) for decimal format with more than 8 bytes, after reporting string 32853 through
// status when given, and for byte counts above kMaxValueBytes. A byte count of 0 or less gives no bytes.
bool EncodeValue(const std::string& text, const JobParams& job, CMyByteArray& out,
                 StatusReporter* status = nullptr);

// Whether text, in canonical form, is written as bytes that read back as that same text: false for a
// decimal number beyond the bytes, hex digits or ASCII characters beyond them, characters the
// format cannot hold. Hex compares without letter case; raw hex pairs (number format none) may be
// shorter than the bytes, which are filled with 0.
bool ValueFits(const std::string& text, const JobParams& job);

// Bytes read from a tag (normally exactly byteCount of them) to the value text.
std::string DecodeValue(const CMyByteArray& bytes, const JobParams& job);

// The value text brought into canonical form (count 0) or counted up count times. Number format
// none returns the text unchanged. Pure: nothing is stored or shown.
std::string AdvanceValueText(const std::string& text, const JobParams& job, int count);
// job.valueText := AdvanceValueText(job.valueText, job, count) and the view shows it; number format
// none changes and shows nothing.
void AdvanceValue(JobParams& job, IJobView& view, int count);

// The display switch's conversion: text encoded under the settings before the click (a failed
// encoding gives no bytes) and decoded under the settings after it.
std::string SwitchDisplayText(const std::string& text, const JobParams& before, const JobParams& after,
                              StatusReporter* status = nullptr);

// Passwords and keys: the first 2k characters (padded with '0' at the end) read as a big-endian hex
// number, stored least significant byte first. k = 4: "12345678" -> 78h 56h 34h 12h.
CMyByteArray HexToBytes(const std::string& text, int k);

}  // namespace tw
