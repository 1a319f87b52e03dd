// Reading and changing an Ethernet reader's network settings through its setup records: the
// address text parser, the texts shown for a device, and the change sequence (IP-SETUP, waiting
// for the device at its new address, record writes, reset). The socket work sits behind
// ILanConfigOps so that the sequence can run against a real port registry or a test double.
#pragma once
#include <cstdint>
#include <string>

#include "sdk/my_byte_array.h"

namespace tw {

// The maker tag that our devices send in the identify answer; it allows the extended IP-SETUP.
inline constexpr char kLanMakerTag[] = "TWG";

// Result of the address text parser: "[name]-port", "a.b.c.d-port", "a.b.c.d".
struct LanAddressText {
  uint8_t ip[4] = {0, 0, 0, 0};
  uint32_t port = 0;
  std::string name;
};
LanAddressText ParseLanAddress(const std::string& text);

// Four decimal numbers 0-255 of one to three digits, separated by dots, and nothing else.
bool IsDottedQuad(const std::string& text);
// A new address as LF_SetLanDeviceConfig takes it: "a.b.c.d", "a.b.c.d-port" or "[name]",
// "[name]-port" (name up to 16 characters, port 1-65535).
bool IsLanAddressText(const std::string& text);
// Result of SetLanDeviceConfig for an address, mask or gateway text that means no address; nothing
// has been sent then.
inline constexpr int kLanBadText = -9;

// Zero bits from bit 0 of the last octet up to the first one bit; 32 for an all-zero mask.
int CountHostBits(const uint8_t mask[4]);
// Dotted mask with the bits from position hostBits up to 31 set.
std::string NetMaskText(int hostBits);

// The four texts of LF_GetLanDeviceInfo; false when the record is shorter than 120 bytes.
struct LanDeviceTexts {
  std::string address;  // "a.b.c.d-port", empty for a DHCP device
  std::string name;     // "[name]-port"
  std::string netMask;
  std::string gateway;
};
bool FormatLanDeviceTexts(const CMyByteArray& record0, LanDeviceTexts& out);

// Copies text into a caller buffer of 32 bytes (the documented minimum), always terminated.
void CopyLanText(char* out, const std::string& text);

class ILanConfigOps {
 public:
  virtual ~ILanConfigOps() = default;
  // Handle > 0, a negative open error, or 0 when sockets are unusable.
  virtual int OpenConfigPort(const std::string& name) = 0;
  virtual void CloseConfigPort(int handle, bool reset) = 0;
  virtual bool QueryRecord(int handle, int n, CMyByteArray& record) = 0;
  virtual bool WriteRecord(int handle, int n, const CMyByteArray& record) = 0;
  virtual bool IdentifyDevice(int handle, CMyByteArray& answer) = 0;
  virtual bool SendIpSetup(int handle, bool extended, const CMyByteArray& data) = 0;
  virtual int PingLanDevice(const std::string& name) = 0;
  virtual void Sleep(uint32_t ms) = 0;
  virtual uint32_t Now() = 0;
};

int GetLanDeviceInfo(ILanConfigOps& ops, const std::string& name, char* outName, char* outAddress,
                     char* outNetMask, char* outGateway);
// Empty texts leave that setting as it is. A text that is no address gives kLanBadText at once.
int SetLanDeviceConfig(ILanConfigOps& ops, const std::string& name, const std::string& newAddress,
                       const std::string& netMask, const std::string& gateway);

}  // namespace tw
