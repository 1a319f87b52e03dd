// The common model of one simulated transponder: its memory, its login state and the operations a
// reader performs on it, independent of the reader's command generation. Each family (hitag1.cpp,
// ata5555.cpp, ...) derives from TagModel and enforces what its chip enforces.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tw::sim {

using Bytes = std::vector<uint8_t>;

// Reader status bytes the simulated reader answers for transponder failures (0 = success). 03h is the
// reader core's "bad parameter" as well; the others stay clear of the reader core's own statuses and of
// the codes the host uses for its own failures.
enum TagStatus : uint8_t {
  kStatusOk = 0x00,
  kStatusNoTag = 0x01,         // no transponder answered (none in the field, wrong modulation or type)
  kStatusBadParameter = 0x03,  // parameter layout, block not on this chip, sub-function unknown
  kStatusWriteRefused = 0x04,  // block locked, write-inhibited or read-only
  kStatusAccessDenied = 0x05,  // login, authentication or password mode required
  kStatusLoginFailed = 0x11,   // wrong password, key or UID
};

struct TagReply {
  uint8_t status = kStatusOk;
  Bytes data;
  bool Ok() const { return status == kStatusOk; }
};

inline TagReply Fail(uint8_t status) { return TagReply{status, {}}; }
inline TagReply Done(Bytes data = {}) { return TagReply{kStatusOk, std::move(data)}; }

// Transponder families, numbered like the host's type codes.
enum TagFamily : int {
  kHitag2 = 2,
  kAta5555 = 3,
  kHitagS = 4,
  kHitag1 = 5,
  kEm4450 = 6,
  kEm4305 = 8,
  kAta5577 = 9,
  kHitagMu = 10,
  kSic7888 = 12,
};

// Modulation() results that are not a reader modulation value.
constexpr int kAnyModulation = -1;  // the family has no modulation rule: answers whatever is set
constexpr int kNoModulation = -2;   // the configuration word names no modulation a reader can decode

class TagModel {
 public:
  TagModel(TagFamily family, Bytes uid, int blockCount);
  virtual ~TagModel() = default;

  TagFamily Family() const { return family_; }
  const Bytes& Uid() const { return uid_; }
  virtual const char* Name() const = 0;

  // Presets. Factory() brings the chip into the state it ships in (data blocks zero). Protect() sets
  // pwHex (read like the job's password text) as password or key and switches protection on; it
  // returns false with a reason when the family has no password.
  virtual void Factory() = 0;
  virtual bool Protect(const std::string& pwHex, std::string& why) = 0;

  // Operations. Defaults refuse what a family does not have.
  virtual TagReply ReadUid();                          // UID as a unified reader answers it
  virtual TagReply ReadBlock(int block);               // 4 bytes in the host's byte order
  virtual TagReply WriteBlock(int block, const uint8_t* data, bool lock);
  virtual TagReply Select(const Bytes& params);        // authenticate/select (C1h, x9h)
  virtual TagReply KeyLogin(const Bytes& key);         // Hitag S key authentication
  virtual TagReply PasswordLogin(int sub, const Bytes& pw);
  virtual TagReply ReadWithPassword(int block, const Bytes& pw);
  virtual TagReply WriteWithPassword(int block, const Bytes& pw, const uint8_t* data, bool lock);
  virtual TagReply ReadUidWithPassword(const Bytes& pw);
  virtual TagReply ChangePassword(const Bytes& oldPw, const Bytes& newPw);
  virtual TagReply ProtectWrite(const uint8_t* data);
  virtual TagReply LockBlock(int block);
  virtual TagReply Reset();
  virtual TagReply IdentityFrame();                    // 8-byte identity frame (ATA5555)

  // Modulation the tag answers in: a reader modulation value, kAnyModulation or kNoModulation.
  virtual int Modulation() const { return kAnyModulation; }
  // Whether a reader with capability word 0 sends this family's legacy answers reversed.
  virtual bool ReversedOnOldReaders() const { return false; }
  // Leaving the field or losing power ends every login.
  virtual void ForgetLogin() { loggedIn_ = false; }

  // Direct memory access for the control channel (no rules applied).
  int BlockCount() const { return static_cast<int>(mem_.size()); }
  bool Exists(int block) const;
  uint32_t Word(int block) const;
  void SetWord(int block, uint32_t value);
  bool Locked(int block) const { return Exists(block) && locked_[block]; }
  bool LoggedIn() const { return loggedIn_; }

 protected:
  // Hooks of the default ReadBlock/WriteBlock: a non-zero status refuses the access.
  virtual uint8_t ReadRefusal(int block) const;
  virtual uint8_t WriteRefusal(int block) const;
  // Stores an accepted write; families with one-way bits override it.
  virtual void StoreBlock(int block, const uint8_t* data);
  // Whether the lock flag of a write locks the block (ATA families).
  virtual bool HonoursLockFlag() const { return false; }

  Bytes BlockBytes(int block) const;
  bool SameBytes(int block, const Bytes& value, size_t count = 4) const;
  void SetPresent(int first, int last);  // marks blocks first..last as present on the chip
  void ClearMemory();

  TagFamily family_;
  Bytes uid_;
  std::vector<std::array<uint8_t, 4>> mem_;
  std::vector<bool> present_;
  std::vector<bool> locked_;  // permanent per-block locks
  bool loggedIn_ = false;
};

// Hex text read like the job's passwords: the first 2k characters as a big-endian number, stored
// least significant byte first; short text is padded with '0' on the right. False on a non-hex digit.
bool HexToKeyBytes(const std::string& text, size_t k, Bytes& out);
uint32_t LittleEndian(const uint8_t* b);
void PutLittleEndian(uint32_t v, uint8_t* b);
// Lock bit in configuration byte c2 for a block of the Hitag S group layout (80h 4-5 … 01h 48-63),
// groups cut at lastBlock (SIC7888 ends at 40); 0 when the block belongs to no group.
uint8_t GroupLockBit(int block, int lastBlock);

// Factories, one per family file.
std::unique_ptr<TagModel> MakeHitag1(const Bytes& uid);
std::unique_ptr<TagModel> MakeHitag2(const Bytes& uid);
std::unique_ptr<TagModel> MakeHitagS(const Bytes& uid);
std::unique_ptr<TagModel> MakeHitagMu(const Bytes& uid);
std::unique_ptr<TagModel> MakeAta5555(const Bytes& uid);
std::unique_ptr<TagModel> MakeAta5577(const Bytes& uid);
std::unique_ptr<TagModel> MakeEm4305(const Bytes& uid);
std::unique_ptr<TagModel> MakeEm4450(const Bytes& uid);
std::unique_ptr<TagModel> MakeSic7888(const Bytes& uid);

}  // namespace tw::sim
