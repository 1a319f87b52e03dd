// The UDP configuration protocol of Ethernet readers (port 30718): request forms, answer
// checks, setup-record fields and the texts built from them (discovery entries, device names).
// Pure functions on byte arrays, so parsing is tested and fuzzed without sockets.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tw::lan {

using Bytes = std::vector<uint8_t>;

constexpr uint16_t kConfigPort = 30718;
constexpr uint32_t kDefaultDataPort = 10001;
constexpr size_t kHeaderSize = 4;
constexpr size_t kRecordMinSize = 120;    // a setup record answer must carry at least this much
constexpr size_t kNameCheckSize = 126;    // record 2 for the reader name check, record 3
constexpr size_t kIdentifyMinSize = 26;
constexpr size_t kMaxDatagram = 513;      // one receive takes at most this many bytes

// Request and answer codes (byte 3 of the header).
constexpr uint8_t kIdentify = 0xF6, kIdentifyAnswer = 0xF7;
constexpr uint8_t kReadRecord0 = 0xF8, kReadRecord0Answer = 0xF9;
constexpr uint8_t kWriteRecord0 = 0xFD, kWriteRecord0Answer = 0xFB;
constexpr uint8_t kIpSetup = 0xFC, kReset = 0x03;

// Setup record 0 offsets (payload, i.e. after the header).
constexpr size_t kRecAddress = 0, kRecHostBits = 6, kRecGateway = 12, kRecPort = 20;
constexpr size_t kRecNameHigh = 84, kRecProduct = 93, kRecNameLow = 112;
constexpr size_t kRec3NameHigh = 102;
// Identify answer offsets.
constexpr size_t kIdMakerTag = 11, kIdHardwareAddress = 20;

// Codes for record n (0..15).
uint8_t ReadRecordCode(int n);
uint8_t ReadRecordAnswerCode(int n);
uint8_t WriteRecordCode(int n);
uint8_t WriteRecordAnswerCode(int n);

Bytes ReadRecordRequest(int n);
Bytes WriteRecordRequest(int n, const Bytes& record);
Bytes IdentifyRequest();
// IP-SETUP with marker "EX" (extended) or 00 00 (short), then data.
Bytes IpSetupRequest(bool extended, const Bytes& data);
Bytes ResetRequest();

// One received datagram after the 4-byte header is split off.
struct Datagram {
  uint8_t code = 0;
  std::string sender;  // dotted IPv4 text
  Bytes payload;
};
// Decodes a queued entry (sender IPv4 in network order, then the datagram). false when the
// entry is too short to hold a header.
bool DecodeQueued(const uint8_t* data, size_t len, Datagram& out);

std::string Ipv4Text(const uint8_t* fourBytes);
// "a.b.c.d" → four bytes, first octet first; false for anything else.
bool ParseIpv4(const std::string& text, uint8_t out[4]);

// Record fields; callers check the size first (every function is bounded anyway).
std::string RecordAddress(const Bytes& rec);     // "a.b.c.d" of bytes 0-3
uint32_t RecordPort(const Bytes& rec);           // bytes 20-21, low byte first
bool RecordIsDhcp(const Bytes& rec);             // bytes 0-3 all zero
// "%.8s%.8s" of bytes 112-119 and 84-91.
std::string RecordNameChars(const Bytes& rec);
// "[" + RecordNameChars + "]".
std::string RecordDeviceName(const Bytes& rec);
// Zero-terminated text at 93, bounded by the record's end.
std::string RecordProductName(const Bytes& rec);
// True when the product name, upper-cased, starts with "QZ-".
bool IsReaderProduct(const Bytes& rec);

// Discovery entry for an F9 answer: "a.b.c.d-port" when the record address equals the sender,
// otherwise "[name]sender-port".
std::string DiscoveryEntry(const Bytes& rec, const std::string& sender);

// Target names: the port is the number after the last hyphen (10001 without one); the host is
// the text before it.
void SplitTarget(const std::string& name, std::string& host, uint32_t& port);
// The part from the first '[' through the first ']' after it; empty when there is none.
std::string BracketPart(const std::string& name);
// Host of a discovery entry: text before the last hyphen with any bracketed prefix removed.
std::string EntryHost(const std::string& entry);
// A reader port name for the Ethernet link: it begins with "[" or holds three dots, the first
// one after the first character.
bool IsLanTargetName(const std::string& name);
// Inserts into a list kept in ascending text order, dropping duplicates.
void InsertSorted(std::vector<std::string>& list, const std::string& entry);

}  // namespace tw::lan
