#include "job/value_encoding.h"

#include <algorithm>
#include <climits>
#include <cstdio>

#include "job/job_checks.h"
#include "job/job_view.h"

namespace tw {
namespace {

// Anything that is neither decimal nor hex behaves as "no number", anything but ASCII as binary.
bool IsAscii(const JobParams& job) { return job.display == kDisplayAscii; }
bool IsDecimal(const JobParams& job) { return job.numberFormat == kFormatDecimal; }
bool IsHex(const JobParams& job) { return job.numberFormat == kFormatHex; }
bool IsRotated(const JobParams& job) { return job.orientation == kOrientationRotated; }

uint8_t PairToByte(char high, char low) {
  return static_cast<uint8_t>(((HexDigitValue(high) << 4) | HexDigitValue(low)) & 0xFF);
}

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Leading white space, one sign, digits up to the first non-digit; out of range clamps. Written out
// rather than strtoll so that no locale can change what counts as a digit or a space.
int64_t ParseDecimal(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // Accumulate the magnitude as unsigned; the limit is one more for negative numbers.
  const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
  uint64_t value = 0;
  bool clamped = false;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const unsigned digit = static_cast<unsigned>(text[i] - '0');
    if (clamped || value > (limit - digit) / 10) {
      clamped = true;
      continue;
    }
    value = value * 10 + digit;
  }
  if (clamped) value = limit;
  if (!negative) return static_cast<int64_t>(value);
  return value == (uint64_t{1} << 63) ? INT64_MIN : -static_cast<int64_t>(value);
}

bool IsRunDigit(char c, bool hex) {
  if (c >= '0' && c <= '9') return true;
  return hex && ((c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'));
}

// One count step on a digit string in base 10 or 16.
void CountUpOnce(std::string& number, bool hex) {
  const unsigned highest = hex ? 15 : 9;
  for (size_t i = number.size(); i-- > 0;) {
    const char c = number[i];
    const unsigned v = IsRunDigit(c, hex) ? HexDigitValue(c) : 0xFF;
    if (v < highest) {
      number[i] = "0123456789ABCDEF"[v + 1];
      return;
    }
    number[i] = '0';
  }
  number.insert(number.begin(), '1');
}

size_t ClampBytes(int byteCount) { return static_cast<size_t>(std::clamp(byteCount, 0, kMaxValueBytes)); }

}  // namespace

uint8_t HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
  if (c >= 'A' && c <= 'F') return static_cast<uint8_t>(c - 'A' + 10);
  if (c >= 'a' && c <= 'f') return static_cast<uint8_t>(c - 'a' + 10);
  return 0xFF;
}

bool EncodeValue(const std::string& text, const JobParams& job, CMyByteArray& out, StatusReporter* status) {
  out.clear();
  if (job.byteCount > kMaxValueBytes) return false;
  const size_t n = ClampBytes(job.byteCount);

  if (IsAscii(job)) {
    std::string s = text.substr(0, n);
    if (job.leadingZeros && s.size() < n) s.insert(0, n - s.size(), '0');
    out.assign(n, 0);
    std::copy(s.begin(), s.end(), out.begin());
  } else if (IsHex(job)) {
    std::string s = text.substr(0, 2 * n);
    s.insert(0, 2 * n - s.size(), '0');
    out.resize(n);
    for (size_t i = 0; i < n; ++i) out[n - 1 - i] = PairToByte(s[2 * i], s[2 * i + 1]);
  } else if (IsDecimal(job)) {
    if (n > 8) {
      if (status) status->AddStatusMessage(kMsgDecimalOver8);
      return false;
    }
    const uint64_t value = static_cast<uint64_t>(ParseDecimal(text));
    out.resize(n);
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
  } else {
    std::string s = text.substr(0, 2 * n);
    s.append(2 * n - s.size(), '0');
    out.resize(n);
    for (size_t i = 0; i < n; ++i) out[i] = PairToByte(s[2 * i], s[2 * i + 1]);
  }

  if (IsRotated(job)) std::reverse(out.begin(), out.end());
  return true;
}

std::string DecodeValue(const CMyByteArray& input, const JobParams& job) {
  CMyByteArray bytes = input;
  if (IsRotated(job)) std::reverse(bytes.begin(), bytes.end());
  const size_t n = ClampBytes(job.byteCount);

  if (IsAscii(job)) {
    std::string text;
    for (size_t i = 0; i < std::min(n, bytes.size()) && bytes[i] != 0; ++i)
      text.push_back(static_cast<char>(bytes[i]));
    return text;
  }

  if (IsDecimal(job)) {
    if (bytes.size() < 8) bytes.resize(8, 0);
    uint64_t raw = 0;
    for (size_t i = 0; i < 8; ++i) raw |= uint64_t{bytes[i]} << (8 * i);
    const int64_t value = static_cast<int64_t>(raw);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(value));
    std::string text = buf;
    if (job.leadingZeros) {
      const size_t width = static_cast<size_t>(ValueCharLimit(job));
      // Zeros go after the sign so that the text still reads back as the same number.
      const size_t signLen = value < 0 ? 1 : 0;
      if (text.size() < width) text.insert(signLen, width - text.size(), '0');
    }
    return text;
  }

  bytes.resize(n, 0);
  static const char kHex[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(2 * n);
  if (IsHex(job)) {
    for (size_t i = n; i-- > 0;) {
      text.push_back(kHex[bytes[i] >> 4]);
      text.push_back(kHex[bytes[i] & 0x0F]);
    }
    if (!job.leadingZeros) {
      const size_t first = text.find_first_not_of('0');
      text = first == std::string::npos ? "0" : text.substr(first);
    }
  } else {
    for (size_t i = 0; i < n; ++i) {
      text.push_back(kHex[bytes[i] >> 4]);
      text.push_back(kHex[bytes[i] & 0x0F]);
    }
  }
  return text;
}

std::string AdvanceValueText(const std::string& text, const JobParams& job, int count) {
  if (!IsDecimal(job) && !IsHex(job)) return text;
  const bool hex = IsHex(job);

  std::string prefix, suffix, number = text;
  if (IsAscii(job)) {
    // The first of the longest digit runs is the number; a text that is all digits or has none
    // stays whole.
    size_t bestStart = 0, bestLen = 0;
    for (size_t i = 0; i < text.size();) {
      if (!IsRunDigit(text[i], hex)) {
        ++i;
        continue;
      }
      size_t j = i;
      while (j < text.size() && IsRunDigit(text[j], hex)) ++j;
      if (j - i > bestLen) {
        bestStart = i;
        bestLen = j - i;
      }
      i = j;
    }
    if (bestLen > 0 && bestLen < text.size()) {
      prefix = text.substr(0, bestStart);
      number = text.substr(bestStart, bestLen);
      suffix = text.substr(bestStart + bestLen);
    }
  }
  if (!job.allowExtraText) prefix.clear(), suffix.clear();

  const size_t first = number.find_first_not_of('0');
  number = first == std::string::npos ? "0" : number.substr(first);

  for (int i = 0; i < count; ++i) CountUpOnce(number, hex);

  if (job.leadingZeros) {
    const size_t width = static_cast<size_t>(ValueCharLimit(job));
    const size_t have = prefix.size() + number.size() + suffix.size();
    if (have < width) number.insert(0, width - have, '0');
  }
  return prefix + number + suffix;
}

void AdvanceValue(JobParams& job, IJobView& view, int count) {
  if (!IsDecimal(job) && !IsHex(job)) return;
  job.valueText = AdvanceValueText(job.valueText, job, count);
  view.ShowValue(job.valueText);
}

bool ValueFits(const std::string& text, const JobParams& job) {
  const std::string canonical = AdvanceValueText(text, job, 0);
  CMyByteArray bytes;
  if (!EncodeValue(canonical, job, bytes)) return false;
  const std::string back = DecodeValue(bytes, job);
  auto upper = [](std::string t) {
    for (char& c : t)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return t;
  };
  if (IsAscii(job)) return back == canonical;
  if (IsHex(job)) return back == upper(canonical);
  if (IsDecimal(job)) return back == canonical;
  // Raw pairs: what is given must come back; the rest is the fill.
  const std::string given = upper(canonical);
  return given.size() <= back.size() && back.compare(0, given.size(), given) == 0 &&
         back.find_first_not_of('0', given.size()) == std::string::npos;
}

std::string SwitchDisplayText(const std::string& text, const JobParams& before, const JobParams& after,
                              StatusReporter* status) {
  CMyByteArray bytes;
  if (!EncodeValue(text, before, bytes, status)) bytes.clear();
  return DecodeValue(bytes, after);
}

CMyByteArray HexToBytes(const std::string& text, int k) {
  if (k <= 0) return {};
  const size_t len = static_cast<size_t>(std::min(k, kMaxValueBytes));
  std::string s = text.substr(0, 2 * len);
  s.append(2 * len - s.size(), '0');
  CMyByteArray out(len);
  for (size_t i = 0; i < len; ++i) out[len - 1 - i] = PairToByte(s[2 * i], s[2 * i + 1]);
  return out;
}

}  // namespace tw
