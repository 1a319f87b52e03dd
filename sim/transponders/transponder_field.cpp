// Command dispatch of the simulated reader's field: unified commands name the transponder type in
// their first parameter byte, legacy commands carry it in the command code. The reader only reaches
// the tag in the field, and only in the modulation that tag answers in.
#include "sim/transponders/transponder_field.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <sstream>

#include "platform/tick.h"
#include "sim/core/sim_timing.h"
#include "sim/transponders/tag_codec.h"

namespace tw::sim {

namespace {

constexpr uint16_t kUnifiedCommands = 0x100;
constexpr uint16_t kIdentityCommand10 = 0x02;
constexpr uint16_t kPackedAtaMask = 0x0F;
constexpr size_t kMaxTags = 1000;     // oldest shelved tags are dropped beyond this
constexpr size_t kMaxAnswerData = 255;

bool IsAta(TagFamily f) { return f == kAta5555 || f == kAta5577; }

// The family a host type code addresses; false for codes the simulated reader does not know.
bool FamilyOfType(int type, TagFamily& family) {
  switch (type) {
    case kHitag2: case kAta5555: case kHitagS: case kHitag1: case kEm4450:
    case kEm4305: case kAta5577: case kHitagMu: case kSic7888:
      family = static_cast<TagFamily>(type);
      return true;
    default:
      return false;
  }
}

struct FamilyInfo {
  TagFamily family;
  const char* name;
  const char* alias;
  size_t uidLength;
  std::unique_ptr<TagModel> (*make)(const Bytes&);
};

const FamilyInfo kFamilies[] = {
    {kHitag1, "hitag1", nullptr, 4, MakeHitag1},     {kHitag2, "hitag2", nullptr, 4, MakeHitag2},
    {kHitagS, "hitags", nullptr, 4, MakeHitagS},     {kHitagMu, "hitagmu", nullptr, 6, MakeHitagMu},
    {kAta5555, "ata5555", "q5", 5, MakeAta5555},     {kAta5577, "ata5577", nullptr, 8, MakeAta5577},
    {kEm4305, "em4305", nullptr, 4, MakeEm4305},     {kEm4450, "em4450", "titan", 4, MakeEm4450},
    {kSic7888, "sic7888", nullptr, 4, MakeSic7888},
};

const FamilyInfo* InfoOf(TagFamily f) {
  for (const auto& i : kFamilies)
    if (i.family == f) return &i;
  return nullptr;
}

const FamilyInfo* ParseFamily(std::string token) {
  std::transform(token.begin(), token.end(), token.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (const auto& i : kFamilies) {
    if (token == i.name || (i.alias && token == i.alias) || token == std::to_string(i.family))
      return &i;
  }
  return nullptr;
}

bool ParseHexBytes(const std::string& s, Bytes& out) {
  if (s.empty() || s.size() % 2) return false;
  out.clear();
  for (size_t i = 0; i < s.size(); i += 2) {
    unsigned v = 0;
    if (!std::isxdigit(static_cast<unsigned char>(s[i])) ||
        !std::isxdigit(static_cast<unsigned char>(s[i + 1])) ||
        std::sscanf(s.substr(i, 2).c_str(), "%2x", &v) != 1)
      return false;
    out.push_back(static_cast<uint8_t>(v));
  }
  return true;
}

std::string Hex(const Bytes& b) {
  std::string s;
  char buf[3];
  for (uint8_t v : b) {
    std::snprintf(buf, sizeof buf, "%02X", v);
    s += buf;
  }
  return s;
}

bool ParseInt(const std::string& s, long min, long max, long& v) {
  if (s.empty() || s.size() > 9 || !std::all_of(s.begin(), s.end(), ::isdigit)) return false;
  v = std::stol(s);
  return v >= min && v <= max;
}

// Sets blocks from "<blk>=<word-hex>,..." without applying the chip's rules.
bool ApplyMemory(TagModel& tag, const std::string& list, std::string& why) {
  std::stringstream ss(list);
  std::string item;
  while (std::getline(ss, item, ',')) {
    auto eq = item.find('=');
    long block = 0;
    if (eq == std::string::npos || !ParseInt(item.substr(0, eq), 0, 255, block)) {
      why = "bad mem item '" + item + "'";
      return false;
    }
    std::string word = item.substr(eq + 1);
    Bytes b;
    if (word.size() != 8 || !ParseHexBytes(word, b)) {
      why = "block value must be 8 hex digits in '" + item + "'";
      return false;
    }
    if (!tag.Exists(static_cast<int>(block))) {
      why = "block " + std::to_string(block) + " does not exist on " + tag.Name();
      return false;
    }
    tag.SetWord(static_cast<int>(block), static_cast<uint32_t>(std::stoul(word, nullptr, 16)));
  }
  return true;
}

void Reverse(Bytes& b) { std::reverse(b.begin(), b.end()); }

// Air time of one transponder command for the timing model: the operation from the command, the
// family from the type the command addresses (legacy codes shared by two families: the tag in the
// field, else the first of them).
uint32_t AirTime(uint8_t cmd, const Bytes& p, bool unified, int fieldFamily) {
  if (unified) {
    if (cmd == 0xC5) return RadioMicros(kAta5555, RadioOp::kUid);
    if (p.empty()) return 0;
    const int family = p[0];
    const int sub = p.size() > 1 ? p[1] : -1;
    switch (cmd) {
      case 0xC0: return RadioMicros(family, RadioOp::kUid);
      case 0xC1: return RadioMicros(family, RadioOp::kSelect);
      case 0xC2: return RadioMicros(family, RadioOp::kRead, p.size() > 2 ? p[2] : 1);
      case 0xC3:
        return RadioMicros(family, RadioOp::kWrite, static_cast<int>((p.size() + 1) / 4));
      case 0xC4:
        if (sub == 6) return RadioMicros(family, RadioOp::kUid);
        if (sub == 3 && (family == kAta5555 || family == kAta5577))
          return RadioMicros(family, RadioOp::kRead);
        if (sub == 4 || sub == 22 || (sub == 3 && family == kEm4305))
          return RadioMicros(family, RadioOp::kWrite);
        return RadioMicros(family, RadioOp::kOther);
      default: return 0;
    }
  }
  const auto either = [fieldFamily](int a, int b) { return fieldFamily == b ? b : a; };
  int family = 0;
  switch (cmd >> 4) {
    case 0x1: return cmd == 0x10 ? RadioMicros(kAta5555, RadioOp::kUid) : 0;
    case 0x2: family = kHitag2; break;
    case 0x3:
      family = either(kAta5555, kAta5577);
      if (cmd == 0x34) return RadioMicros(family, RadioOp::kUid);
      if (cmd == 0x30 || cmd == 0x31) return RadioMicros(family, RadioOp::kWrite);
      if (cmd == 0x32 || cmd == 0x33) return RadioMicros(family, RadioOp::kRead);
      return RadioMicros(family, RadioOp::kOther);
    case 0x4: family = either(kHitagS, kSic7888); break;
    case 0x5: family = kHitag1; break;
    case 0x6: family = kEm4450; break;
    case 0xA:
      if (cmd == 0xA8) return RadioMicros(kEm4305, RadioOp::kWrite);  // protection word
      family = kEm4305;
      break;
    case 0xB: {
      const int sub = p.size() > 1 ? p[1] : -1;
      if (sub == 2) return RadioMicros(kHitagMu, RadioOp::kUid);
      if (sub == 18) return RadioMicros(kHitagMu, RadioOp::kRead, p.size() > 3 ? p[3] + 1 : 1);
      if (sub == 20 || sub == 22) return RadioMicros(kHitagMu, RadioOp::kWrite);
      return RadioMicros(kHitagMu, RadioOp::kOther);
    }
    default: return 0;
  }
  switch (cmd & 0x0F) {
    case 0x1: return RadioMicros(family, RadioOp::kWrite);
    case 0x2: return RadioMicros(family, RadioOp::kRead);
    case 0x8: return RadioMicros(family, RadioOp::kUid);
    case 0x9: return RadioMicros(family, RadioOp::kSelect);
    default: return RadioMicros(family, RadioOp::kOther);
  }
}

}  // namespace

TransponderField::TransponderField() : clock_([] { return TickCount(); }), random_(0x7A65u) {}

TransponderField::~TransponderField() = default;

void TransponderField::SetClock(std::function<uint32_t()> clock) {
  std::lock_guard<std::mutex> lock(mutex_);
  clock_ = std::move(clock);
}

TagModel* TransponderField::TagInField() {
  for (auto& e : tags_)
    if (e.id == fieldId_) return e.tag.get();
  return nullptr;
}

void TransponderField::OnFieldChanged(bool on) {
  std::lock_guard<std::mutex> lock(mutex_);
  fieldOn_ = on;
  if (!on)
    if (TagModel* t = TagInField()) t->ForgetLogin();
}

// ---------------------------------------------------------------------------------------------
// Reader commands

bool TransponderField::Handle(uint8_t cmd, const std::vector<uint8_t>& params,
                              SimReaderState& reader, SimAnswer& answer) {
  std::lock_guard<std::mutex> lock(mutex_);
  AdvanceFeed();
  bool unified = (reader.capability & kUnifiedCommands) != 0;
  TagReply reply;
  if (cmd >= 0xC0 && cmd <= 0xC5) {
    if (!unified) return false;  // an older reader does not know the unified set
    reply = Unified(cmd, params, reader);
  } else {
    if (unified) return false;  // nor does a unified reader take the per-family codes
    if (!Legacy(cmd, params, reader, reply)) return false;
  }
  answer.status = reply.status;
  answer.data = reply.Ok() ? std::move(reply.data) : Bytes{};
  const TagModel* inField = TagInField();
  answer.radioMicros = AirTime(cmd, params, unified, inField ? inField->Family() : 0);
  return true;
}

TagModel* TransponderField::Reach(std::initializer_list<TagFamily> families, TagReply& reply) {
  TagModel* tag = fieldOn_ ? TagInField() : nullptr;
  if (tag && std::find(families.begin(), families.end(), tag->Family()) != families.end())
    return tag;
  reply = Fail(kStatusNoTag);
  return nullptr;
}

// Reads are answered by the tag in its own modulation: the reader hears it only when set to it.
static bool Hears(const TagModel& tag, const SimReaderState& reader) {
  int m = tag.Modulation();
  return m == kAnyModulation || m == reader.modulation;
}

// A unified reader's UID commands try the modulations until the tag answers and stay there.
static bool Tune(const TagModel& tag, SimReaderState& reader) {
  int m = tag.Modulation();
  if (m == kAnyModulation) return true;
  if (m == kNoModulation) return false;
  reader.modulation = m;
  return true;
}

TagReply TransponderField::ReadBlocks(TagModel& tag, int first, int count, bool heard) {
  if (count < 1 || static_cast<size_t>(count) * 4 > kMaxAnswerData) return Fail(kStatusBadParameter);
  if (!heard) return Fail(kStatusNoTag);
  Bytes data;
  for (int b = first; b < first + count; ++b) {
    TagReply r = tag.ReadBlock(b);
    if (!r.Ok()) return r;
    data.insert(data.end(), r.data.begin(), r.data.end());
  }
  return Done(std::move(data));
}

// Writes block by block, the last one padded with zero bytes; stops at the first refused block.
TagReply TransponderField::WriteBlocks(TagModel& tag, int first, const uint8_t* data, size_t size,
                                       bool lock) {
  if (size == 0) return Fail(kStatusBadParameter);
  for (size_t off = 0; off < size; off += 4) {
    uint8_t chunk[4] = {0, 0, 0, 0};
    std::copy(data + off, data + std::min(size, off + 4), chunk);
    TagReply r = tag.WriteBlock(first + static_cast<int>(off / 4), chunk, lock);
    if (!r.Ok()) return r;
  }
  return Done();
}

TagReply TransponderField::Unified(uint8_t cmd, const Bytes& p, SimReaderState& reader) {
  if (p.empty()) return Fail(kStatusBadParameter);
  TagReply reply;
  if (cmd == 0xC5) {  // ATA5555 identity: [00h, 1]
    if (p.size() != 2 || p[0] != 0x00 || p[1] != 1) return Fail(kStatusBadParameter);
    TagModel* tag = Reach({kAta5555}, reply);
    if (!tag) return reply;
    if (!Tune(*tag, reader)) return Fail(kStatusNoTag);
    return tag->ReadUid();
  }
  TagFamily family;
  if (!FamilyOfType(p[0], family)) return Fail(kStatusBadParameter);
  TagModel* tag = Reach({family}, reply);
  if (!tag) return reply;
  switch (cmd) {
    case 0xC0:  // UID: [type, selector]
      if (p.size() != 2) return Fail(kStatusBadParameter);
      if (!Tune(*tag, reader)) return Fail(kStatusNoTag);
      return tag->ReadUid();
    case 0xC1:  // authenticate / select: [type] + parameter bytes
      return tag->Select(Bytes(p.begin() + 1, p.end()));
    case 0xC2:  // read: [type, first, count]
      if (p.size() != 3) return Fail(kStatusBadParameter);
      return ReadBlocks(*tag, p[1], p[2], Hears(*tag, reader));
    case 0xC3: {  // write: [type, block (80h = lock on ATA types)] + data
      if (p.size() < 3) return Fail(kStatusBadParameter);
      int block = p[1];
      bool lock = false;
      if (IsAta(family)) {
        lock = (block & 0x80) != 0;
        block &= 0x7F;
      }
      return WriteBlocks(*tag, block, p.data() + 2, p.size() - 2, lock);
    }
    case 0xC4:
      return UnifiedSpecial(*tag, p, reader);
    default:
      return Fail(kStatusBadParameter);
  }
}

// C4h: [type, sub-function, ...]; the sub-functions mean different things per family.
TagReply TransponderField::UnifiedSpecial(TagModel& tag, const Bytes& p, SimReaderState& reader) {
  if (p.size() < 2) return Fail(kStatusBadParameter);
  TagFamily f = tag.Family();
  int sub = p[1];
  size_t n = p.size();
  auto tail = [&p](size_t from, size_t count) {
    return Bytes(p.begin() + static_cast<long>(from), p.begin() + static_cast<long>(from + count));
  };
  switch (sub) {
    case 1:
      if ((IsAta(f) || f == kEm4450) && n == 2) return tag.Reset();
      if (f == kHitagS && n == 8) return tag.KeyLogin(tail(2, 6));
      if (f == kSic7888 && n == 6) return tag.PasswordLogin(1, tail(2, 4));
      break;
    case 2:
      if ((f == kEm4450 || f == kEm4305 || f == kSic7888) && n == 6)
        return tag.PasswordLogin(2, tail(2, 4));
      break;
    case 3:
      if (f == kEm4450 && n == 10) return tag.ChangePassword(tail(2, 4), tail(6, 4));
      if (f == kEm4305 && n == 6) return tag.ProtectWrite(p.data() + 2);
      if (IsAta(f) && n == 7) {
        if (!Hears(tag, reader)) return Fail(kStatusNoTag);
        return tag.ReadWithPassword(p[2], tail(3, 4));
      }
      break;
    case 4:
      if (IsAta(f) && n == 11)
        return tag.WriteWithPassword(p[2] & 0x7F, tail(3, 4), p.data() + 7, (p[2] & 0x80) != 0);
      break;
    case 5:  // preparation of the identity read
      if (f == kAta5555 && n == 2) return Done();
      break;
    case 6:
      if (IsAta(f) && n == 6) {
        if (!Tune(tag, reader)) return Fail(kStatusNoTag);
        return tag.ReadUidWithPassword(tail(2, 4));
      }
      break;
    case 22:  // Hitag µ lock: [10, 22, 00h, block]
      if (f == kHitagMu && n == 4) return tag.LockBlock(p[3]);
      break;
    case 40:  // Hitag µ login: [10, 40, 00h, x] + password
      if (f == kHitagMu && n == 8) return tag.PasswordLogin(40, tail(4, 4));
      break;
    default:
      break;
  }
  return Fail(kStatusBadParameter);
}

bool TransponderField::Legacy(uint8_t cmd, const Bytes& p, SimReaderState& reader,
                              TagReply& reply) {
  bool oldReader = reader.capability == 0;
  auto reversed = [&](TagReply r, const TagModel& tag) {
    if (r.Ok() && oldReader && tag.ReversedOnOldReaders()) Reverse(r.data);
    return r;
  };
  TagModel* tag = nullptr;
  switch (cmd) {
    case 0x10:  // ATA5555 identity, readers with capability bit 02h
      if (!(reader.capability & kIdentityCommand10)) return false;
      if (!(tag = Reach({kAta5555}, reply))) return true;
      reply = !p.empty() ? Fail(kStatusBadParameter)
              : Hears(*tag, reader) ? tag->ReadUid() : Fail(kStatusNoTag);
      return true;
    case 0x34:  // ATA5555 identity frame
      if (!(tag = Reach({kAta5555}, reply))) return true;
      reply = !p.empty() ? Fail(kStatusBadParameter)
              : Hears(*tag, reader) ? tag->IdentityFrame() : Fail(kStatusNoTag);
      return true;
    case 0x30: case 0x31: case 0x32: case 0x33: case 0x36: case 0x39:
      if (!(tag = Reach({kAta5555, kAta5577}, reply))) return true;
      reply = reversed(LegacyAta(cmd, p, *tag, reader), *tag);
      return true;
    case 0x21: case 0x22: case 0x28: case 0x29:
      if (!(tag = Reach({kHitag2}, reply))) return true;
      break;
    case 0x41: case 0x42: case 0x48: case 0x49:
      if (!(tag = Reach({kHitagS, kSic7888}, reply))) return true;
      break;
    case 0x51: case 0x52: case 0x58: case 0x59:
      if (!(tag = Reach({kHitag1}, reply))) return true;
      break;
    case 0x60: case 0x61: case 0x62: case 0x66: case 0x67:
      if (!(tag = Reach({kEm4450}, reply))) return true;
      break;
    case 0xA1: case 0xA2: case 0xA7: case 0xA8:
      if (!(tag = Reach({kEm4305}, reply))) return true;
      break;
    case 0xB0:
      if (!(tag = Reach({kHitagMu}, reply))) return true;
      reply = LegacyHitagMu(p, *tag);
      return true;
    default:
      return false;
  }
  // The operation is the low nibble of the code (base OR operation), except for the EM4450's 60h,
  // 66h, 67h and the EM4305's A7h, A8h.
  switch (cmd) {
    case 0x60:
      reply = p.size() == 8 ? tag->ChangePassword(Bytes(p.begin(), p.begin() + 4),
                                                  Bytes(p.begin() + 4, p.end()))
                            : Fail(kStatusBadParameter);
      return true;
    case 0x66:
      reply = p.empty() ? tag->Reset() : Fail(kStatusBadParameter);
      return true;
    case 0x67: case 0xA7:
      reply = p.size() == 4 ? tag->PasswordLogin(2, p) : Fail(kStatusBadParameter);
      return true;
    case 0xA8:
      reply = p.size() == 4 ? tag->ProtectWrite(p.data()) : Fail(kStatusBadParameter);
      return true;
    default:
      break;
  }
  switch (cmd & 0x0F) {
    case 0x01:  // write: [block] + 4 bytes
      reply = p.size() == 5 ? tag->WriteBlock(p[0], p.data() + 1, false) : Fail(kStatusBadParameter);
      break;
    case 0x02:  // read: [block]
      reply = p.size() != 1        ? Fail(kStatusBadParameter)
              : Hears(*tag, reader) ? reversed(tag->ReadBlock(p[0]), *tag)
                                    : Fail(kStatusNoTag);
      break;
    case 0x08:  // UID
      reply = p.empty() ? reversed(tag->ReadUid(), *tag) : Fail(kStatusBadParameter);
      break;
    case 0x09:  // authenticate / select
      reply = reversed(tag->Select(p), *tag);
      break;
    default:
      reply = Fail(kStatusBadParameter);
      break;
  }
  return true;
}

// 30h-33h, 36h, 39h of the ATA families. Readers whose capability bits 0Fh are all clear take the
// ATA5555's block commands as packed downlink bit streams.
TagReply TransponderField::LegacyAta(uint8_t cmd, const Bytes& p, TagModel& tag,
                                     SimReaderState& reader) {
  bool packed = (reader.capability & kPackedAtaMask) == 0 && tag.Family() == kAta5555;
  std::optional<PackedCommand> c;
  switch (cmd) {
    case 0x36:
      return p.empty() ? tag.Reset() : Fail(kStatusBadParameter);
    case 0x39:  // preparation of the identity read
      return p.empty() && tag.Family() == kAta5555 ? Done() : Fail(kStatusBadParameter);
    case 0x32:
      if (packed) c = DecodePackedRead(p);
      else if (p.size() == 1) c = PackedCommand{p[0], false, {}, {}};
      if (!c) return Fail(kStatusBadParameter);
      if (!Hears(tag, reader)) return Fail(kStatusNoTag);
      return tag.ReadBlock(c->block);
    case 0x31:
      if (packed) c = DecodePackedWrite(p);
      else if (p.size() == 5) c = PackedCommand{p[0] & 0x7F, (p[0] & 0x80) != 0, {}, Bytes(p.begin() + 1, p.end())};
      if (!c) return Fail(kStatusBadParameter);
      return tag.WriteBlock(c->block, c->data.data(), c->lock);
    case 0x33:
      if (packed) c = DecodePackedPasswordRead(p);
      else if (p.size() == 5) c = PackedCommand{p[0], false, Bytes(p.begin() + 1, p.end()), {}};
      if (!c) return Fail(kStatusBadParameter);
      if (!Hears(tag, reader)) return Fail(kStatusNoTag);
      return tag.ReadWithPassword(c->block, c->password);
    case 0x30:
      if (packed) c = DecodePackedPasswordWrite(p);
      else if (p.size() == 9)
        c = PackedCommand{p[0] & 0x7F, (p[0] & 0x80) != 0, Bytes(p.begin() + 1, p.begin() + 5),
                          Bytes(p.begin() + 5, p.end())};
      if (!c) return Fail(kStatusBadParameter);
      return tag.WriteWithPassword(c->block, c->password, c->data.data(), c->lock);
    default:
      return Fail(kStatusBadParameter);
  }
}

// B0h: [00h, sub-function, ...].
TagReply TransponderField::LegacyHitagMu(const Bytes& p, TagModel& tag) {
  if (p.size() < 2 || p[0] != 0x00) return Fail(kStatusBadParameter);
  switch (p[1]) {
    case 2:  // UID
      if (p.size() == 2) return tag.ReadUid();
      break;
    case 18:  // read: first block, count - 1
      if (p.size() == 4) return ReadBlocks(tag, p[2], p[3] + 1, true);
      break;
    case 20:  // write: block + 4 bytes
      if (p.size() == 7) return tag.WriteBlock(p[2], p.data() + 3, false);
      break;
    case 22:  // lock: block
      if (p.size() == 3) return tag.LockBlock(p[2]);
      break;
    case 40:  // login: x + password
      if (p.size() == 7) return tag.PasswordLogin(40, Bytes(p.begin() + 3, p.end()));
      break;
    default:
      break;
  }
  return Fail(kStatusBadParameter);
}

// ---------------------------------------------------------------------------------------------
// The field and its control lines

void TransponderField::ToShelf() {
  if (TagModel* t = TagInField()) {
    t->ForgetLogin();
    removed_.push_back(fieldId_);
  }
  fieldId_ = -1;
}

void TransponderField::Present(Entry entry) {
  ToShelf();
  fieldId_ = entry.id;
  tags_.push_back(std::move(entry));
  // Keep the shelf bounded for long feeder runs: drop the oldest tags that are not in the field.
  while (tags_.size() > kMaxTags) {
    auto it = std::find_if(tags_.begin(), tags_.end(),
                           [this](const Entry& e) { return e.id != fieldId_; });
    int gone = it->id;
    tags_.erase(it);
    removed_.erase(std::remove(removed_.begin(), removed_.end(), gone), removed_.end());
  }
}

Bytes TransponderField::FreshUid(TagFamily family) {
  const FamilyInfo* info = InfoOf(family);
  Bytes uid(info->uidLength);
  for (;;) {
    for (auto& b : uid) b = static_cast<uint8_t>(random_());
    if (family == kAta5577) {  // trace data marker
      uid[2] = 0x15;
      uid[3] = 0xE0;
    }
    bool taken = std::any_of(tags_.begin(), tags_.end(), [&](const Entry& e) {
      return e.tag->Family() == family && e.tag->Uid() == uid;
    });
    if (!taken) return uid;
  }
}

void TransponderField::AdvanceFeed() {
  if (feedMs_ == 0) return;
  uint32_t now = clock_();
  if (now - lastFeed_ < feedMs_) return;
  lastFeed_ = now;
  auto family = static_cast<TagFamily>(feedFamily_);
  Present(Entry{nextId_++, InfoOf(family)->make(FreshUid(family))});
}

TransponderField::Entry* TransponderField::Find(const std::string& token) {
  std::string t = token;
  if (!t.empty() && t[0] == '#') t = t.substr(1);
  long id = 0;
  if (t.size() <= 4 && ParseInt(t, 0, 9999, id)) {
    for (auto& e : tags_)
      if (e.id == id) return &e;
    return nullptr;
  }
  Bytes uid;
  if (!ParseHexBytes(token, uid)) return nullptr;
  for (auto& e : tags_)
    if (e.tag->Uid() == uid) return &e;
  return nullptr;
}

static std::string Describe(int id, const TagModel& tag) {
  return "#" + std::to_string(id) + " " + tag.Name() + " " + Hex(tag.Uid());
}

std::string TransponderField::Add(const std::vector<std::string>& a) {
  if (a.size() < 4) return "error usage: tag add <type> <uid-hex> [factory|protected <pw-hex>|mem ...]";
  const FamilyInfo* info = ParseFamily(a[2]);
  if (!info) return "error unknown type '" + a[2] + "'";
  Bytes uid;
  if (!ParseHexBytes(a[3], uid) || uid.size() != info->uidLength)
    return "error " + std::string(info->name) + " UID must be " + std::to_string(info->uidLength) +
           " bytes of hex";
  if (info->family == kAta5577 && (uid[2] != 0x15 || uid[3] != 0xE0))
    return "error ata5577 UID bytes 2-3 must be 15E0 (trace data)";
  auto tag = info->make(uid);
  for (size_t i = 4; i < a.size(); ++i) {
    std::string why;
    if (a[i] == "factory") {
      tag->Factory();
    } else if (a[i] == "protected" && i + 1 < a.size()) {
      if (!tag->Protect(a[++i], why)) return "error " + why;
    } else if (a[i] == "mem" && i + 1 < a.size()) {
      if (!ApplyMemory(*tag, a[++i], why)) return "error " + why;
    } else {
      return "error unknown option '" + a[i] + "'";
    }
  }
  int id = nextId_++;
  std::string d = Describe(id, *tag);
  Present(Entry{id, std::move(tag)});
  return "ok " + d + " in field";
}

std::string TransponderField::Remove(const std::vector<std::string>& a) {
  TagModel* t = TagInField();
  if (!t) return "error field is empty";
  if (a.size() > 2) {
    Entry* e = Find(a[2]);
    if (!e || e->id != fieldId_) return "error tag '" + a[2] + "' is not in the field";
  }
  std::string d = Describe(fieldId_, *t);
  ToShelf();
  return "ok " + d + " on shelf";
}

std::string TransponderField::Back(const std::vector<std::string>& a) {
  int id = -1;
  if (a.size() > 2) {
    Entry* e = Find(a[2]);
    if (!e) return "error no tag '" + a[2] + "'";
    id = e->id;
  } else if (!removed_.empty()) {
    id = removed_.back();
  }
  if (id < 0) return "error shelf is empty";
  if (id == fieldId_) return "error tag is already in the field";
  ToShelf();
  removed_.erase(std::remove(removed_.begin(), removed_.end(), id), removed_.end());
  fieldId_ = id;
  return "ok " + Describe(id, *TagInField()) + " in field";
}

std::string TransponderField::Dump(const std::vector<std::string>& a) {
  const Entry* e = nullptr;
  if (a.size() > 2) {
    e = Find(a[2]);
    if (!e) return "error no tag '" + a[2] + "'";
  } else {
    for (const auto& x : tags_)
      if (x.id == fieldId_) e = &x;
    if (!e) return "error field is empty";
  }
  std::string s = "ok " + Describe(e->id, *e->tag);
  char buf[24];
  for (int b = 0; b < e->tag->BlockCount(); ++b) {
    if (!e->tag->Exists(b)) continue;
    std::snprintf(buf, sizeof buf, " %d:%08X%s", b, e->tag->Word(b), e->tag->Locked(b) ? "L" : "");
    s += buf;
  }
  return s;
}

std::string TransponderField::List() {
  std::string s = "ok " + std::to_string(tags_.size()) + " tags";
  for (const auto& e : tags_)
    s += ", " + Describe(e.id, *e.tag) + (e.id == fieldId_ ? " field" : " shelf");
  return s;
}

std::string TransponderField::Feed(const std::vector<std::string>& a) {
  if (a.size() == 2 && a[1] == "off") {
    feedMs_ = 0;
    return "ok feed off";
  }
  if (a.size() == 2 && a[1] == "next") {
    if (!feedFamily_) return "error no feed type yet: feed <type> <ms>";
    auto family = static_cast<TagFamily>(feedFamily_);
    Present(Entry{nextId_, InfoOf(family)->make(FreshUid(family))});
    lastFeed_ = clock_();
    return "ok " + Describe(nextId_++, *TagInField()) + " in field";
  }
  long ms = 0;
  const FamilyInfo* info = a.size() == 3 ? ParseFamily(a[1]) : nullptr;
  if (!info || !ParseInt(a[2], 1, 86400000, ms)) return "error usage: feed <type> <ms> | feed next | feed off";
  feedFamily_ = info->family;
  feedMs_ = static_cast<uint32_t>(ms);
  lastFeed_ = clock_();
  Present(Entry{nextId_, info->make(FreshUid(info->family))});
  return "ok feed " + std::string(info->name) + " every " + std::to_string(ms) + " ms, " +
         Describe(nextId_++, *TagInField()) + " in field";
}

bool TransponderField::HandleControl(const std::string& line, std::string& reply) {
  std::istringstream in(line);
  std::vector<std::string> a;
  for (std::string w; in >> w;) a.push_back(w);
  if (a.empty() || (a[0] != "tag" && a[0] != "feed")) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  AdvanceFeed();
  if (a[0] == "feed") {
    reply = Feed(a);
    return true;
  }
  std::string verb = a.size() > 1 ? a[1] : "help";
  if (verb == "add") reply = Add(a);
  else if (verb == "remove") reply = Remove(a);
  else if (verb == "back") reply = Back(a);
  else if (verb == "dump") reply = Dump(a);
  else if (verb == "list") reply = List();
  else if (verb == "help")
    reply = "ok tag add <type> <uid-hex> [factory] [protected <pw-hex>] [mem <blk>=<word-hex>,...]"
            " | tag remove | tag back [<tag>] | tag dump [<tag>] | tag list"
            " | feed <type> <ms> | feed next | feed off"
            " -- types: hitag1 hitag2 hitags hitagmu ata5555 ata5577 em4305 em4450 sic7888 or"
            " their codes; <tag>: number or UID hex; words: 32-bit hex, byte 0 least significant";
  else reply = "error unknown tag command '" + verb + "' (try: tag help)";
  return true;
}

}  // namespace tw::sim
