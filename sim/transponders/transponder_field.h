// The simulated reader's antenna field: at most one transponder in it, a shelf of tags taken out (they
// keep their memory and can come back), a feeder that presents new tags on a timer, and the reader's
// transponder commands (unified C0h-C5h or legacy per-family codes) carried out on the tag in the field.
//
// Control lines (one reply line each, "ok ..." or "error ..."):
//   tag add <type> <uid-hex> [factory] [protected <pw-hex>] [mem <blk>=<word-hex>[,<blk>=<word-hex>...]]
//       puts a new tag into the field (a tag already there goes to the shelf). <type> is the host's type
//       code (2 3 4 5 6 8 9 10 12) or a name: hitag1 hitag2 hitags hitagmu ata5555|q5 ata5577 em4305
//       em4450|titan sic7888. <uid-hex> is the UID as a unified reader answers it: 4 bytes, ATA5555 5,
//       Hitag µ 6, ATA5577 8 (its trace data, bytes 2-3 must be 15 E0). "factory" (the default) is the
//       state the chip ships in; "protected <pw-hex>" sets the password (Hitag S: the 6-byte key) and
//       switches protection on; <pw-hex> is read like the job's password text. "mem" then sets blocks:
//       <blk> decimal, <word-hex> the block as a 32-bit number whose least significant byte is byte 0. Options apply from
//       left to right.
//   tag remove [<tag>]    takes the tag out of the field onto the shelf (it forgets any login)
//   tag back [<tag>]      brings a shelved tag back (default: the one removed last)
//   tag dump [<tag>]      blocks of a tag as "<blk>:<word-hex>" (an "L" marks a locked block)
//   tag list              every tag with its number, type, UID and place (field or shelf)
//   tag help              this grammar in short
//   feed <type> <ms>      presents a new tag with a fresh UID now and every <ms> ms
//   feed next             replaces the tag in the field by a new one of the feed type now
//   feed off              stops the feeder
// <tag> is a tag number ("3" or "#3") or its UID in hex.
#pragma once
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "sim/sim_command_handler.h"
#include "sim/transponders/tag_model.h"

namespace tw::sim {

class TransponderField : public ISimCommandHandler {
 public:
  TransponderField();
  ~TransponderField() override;

  bool Handle(uint8_t cmd, const std::vector<uint8_t>& params, SimReaderState& reader,
              SimAnswer& answer) override;
  void OnFieldChanged(bool on) override;
  bool HandleControl(const std::string& line, std::string& reply) override;

  // Millisecond clock of the feeder; tests replace it.
  void SetClock(std::function<uint32_t()> clock);
  // The tag a reader sees now, nullptr when the field is empty. Not locked: for single-threaded tests.
  TagModel* TagInField();

 private:
  struct Entry {
    int id = 0;
    std::unique_ptr<TagModel> tag;
  };

  TagReply Unified(uint8_t cmd, const Bytes& p, SimReaderState& reader);
  TagReply UnifiedSpecial(TagModel& tag, const Bytes& p, SimReaderState& reader);
  // Returns false when cmd is no legacy transponder command of this reader.
  bool Legacy(uint8_t cmd, const Bytes& p, SimReaderState& reader, TagReply& reply);
  TagReply LegacyAta(uint8_t cmd, const Bytes& p, TagModel& tag, SimReaderState& reader);
  TagReply LegacyHitagMu(const Bytes& p, TagModel& tag);
  TagReply ReadBlocks(TagModel& tag, int first, int count, bool heard);
  TagReply WriteBlocks(TagModel& tag, int first, const uint8_t* data, size_t size, bool lock);

  // The tag in the field when it is of one of the given families and the field is on; else nullptr
  // and status kStatusNoTag in reply.
  TagModel* Reach(std::initializer_list<TagFamily> families, TagReply& reply);

  void AdvanceFeed();
  void Present(Entry entry);
  void ToShelf();
  Bytes FreshUid(TagFamily family);
  Entry* Find(const std::string& token);

  std::string Add(const std::vector<std::string>& args);
  std::string Remove(const std::vector<std::string>& args);
  std::string Back(const std::vector<std::string>& args);
  std::string Dump(const std::vector<std::string>& args);
  std::string List();
  std::string Feed(const std::vector<std::string>& args);

  std::mutex mutex_;
  std::vector<Entry> tags_;  // every tag known, oldest first
  int fieldId_ = -1;         // id of the tag in the field, -1 when empty
  std::vector<int> removed_;  // ids taken out, last removed at the back
  int nextId_ = 0;
  bool fieldOn_ = true;

  std::function<uint32_t()> clock_;
  int feedFamily_ = 0;  // 0: no feed type chosen yet
  uint32_t feedMs_ = 0;  // 0: feeder off
  uint32_t lastFeed_ = 0;
  std::mt19937 random_;
};

}  // namespace tw::sim
