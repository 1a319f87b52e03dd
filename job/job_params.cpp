#include "job/job_params.h"

#include <algorithm>
#include <climits>

#include "platform/cp1252.h"

namespace tw {
namespace {

const TransponderTypeInfo kTypes[kTransponderTypeCount] = {
    {"Hitag 1", kTypeHitag1, 16, 63},     {"Hitag 2", kTypeHitag2, 4, 7},
    {"Hitag S", kTypeHitagS, 2, 63},      {"Hitag \xB5", kTypeHitagMu, 0, 53},
    {"ATA5555 (Q5)", kTypeAta5555, 1, 7}, {"ATA5577", kTypeAta5577, 1, 7},
    {"EM4305", kTypeEm4305, 5, 13},       {"EM4450 (Titan)", kTypeEm4450, 3, 31},
    {"SIC7888", kTypeSic7888, 2, 40},
};

struct Modulation {
  const char* name;
  int readerCode;
};
const Modulation kModulations[kModulationCount] = {
    {"Manchester(RF/64)", 0},
    {"Manchester(RF/32)", 5},
    {"Diff. Biphase(RF/64)", 6},
    {"Diff. Biphase(RF/32)", 1},
};

int Saturate(int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX)); }

}  // namespace

const TransponderTypeInfo* TransponderTypes() { return kTypes; }

const TransponderTypeInfo* FindTransponderType(int code) {
  for (const auto& t : kTypes)
    if (t.code == code) return &t;
  return nullptr;
}

int FirstBlock(int code) {
  const TransponderTypeInfo* t = FindTransponderType(code);
  return t ? t->firstBlock : 0;
}

int LastBlock(int code, bool passwordActive) {
  const TransponderTypeInfo* t = FindTransponderType(code);
  if (!t) return 0;
  // Block 7 of the ATA555x holds the password while it is in use.
  if (passwordActive && (code == kTypeAta5555 || code == kTypeAta5577)) return 6;
  return t->lastBlock;
}

int CapacityBytes(int code, bool passwordActive) {
  if (!FindTransponderType(code)) return 0;
  return (LastBlock(code, passwordActive) - FirstBlock(code) + 1) * 4;
}

std::string TypeNameFromCode(int code) {
  const TransponderTypeInfo* t = FindTransponderType(code);
  return t ? t->name : FindTransponderType(kTypeHitagS)->name;
}

int TypeCodeFromName(const std::string& name) {
  const std::string wanted = Cp1252Upper(name);
  for (const auto& t : kTypes)
    if (Cp1252Upper(t.name) == wanted) return t.code;
  return kTypeHitagS;
}

const char* ModulationName(int index) {
  return index >= 0 && index < kModulationCount ? kModulations[index].name : nullptr;
}

int ModulationReaderCode(int index) {
  return index >= 0 && index < kModulationCount ? kModulations[index].readerCode : kModulations[0].readerCode;
}

void KeepStationFields(JobParams& job, const JobParams& station) {
  job.logWrites = station.logWrites;
  job.logReads = station.logReads;
  job.writeLogFile = station.writeLogFile;
  job.readLogFile = station.readLogFile;
  job.cycleTime = station.cycleTime;
  job.beepTime = station.beepTime;
}

int BlocksUsed(int byteCount) { return Saturate((int64_t{byteCount} + 3) / 4); }

int LastBlockWritten(const JobParams& job) {
  return Saturate(int64_t{job.startBlock} + BlocksUsed(job.byteCount) - 1);
}

bool IsHexText(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
  });
}

int DecimalDigitsForBytes(int n) {
  static const int kDigits[9] = {0, 3, 5, 8, 10, 13, 15, 17, 20};
  if (n <= 0) return 0;
  return n > 8 ? 20 : kDigits[n];
}

int ValueCharLimit(const JobParams& job) {
  const int64_t n = std::max(job.byteCount, 0);
  if (job.display == kDisplayAscii) return Saturate(n);
  if (job.numberFormat == kFormatDecimal) return DecimalDigitsForBytes(job.byteCount);
  return Saturate(2 * n);
}

}  // namespace tw
