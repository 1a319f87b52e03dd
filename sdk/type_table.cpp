#include "sdk/type_table.h"

#include <array>
#include <cstddef>

namespace tw {

namespace {

// Highest valid block for codes 0-21; -1 = no limit.
constexpr std::array<int, 22> kHighestBlock = {
    -1, -1, 7,  7,  63, 63, 34, 63, 63, 11, 255,  // 0-10
    16, 43, 7,  63, 639, 63, 15, 15, 63, 7, 15,   // 11-21
};

// The legacy base table covers codes 0-13; codes above share base 00h.
constexpr std::array<uint8_t, 14> kLegacyBase = {
    0x00, 0x00, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0xA0, 0x30, 0x00, 0x00, 0x40, 0x00,
};

}  // namespace

int HighestBlock(int type) {
  if (type < 0 || type >= static_cast<int>(kHighestBlock.size())) return -1;
  return kHighestBlock[static_cast<size_t>(type)];
}

bool BlockInRange(int type, int block) {
  if (block < 0) return false;
  const int highest = HighestBlock(type);
  return highest < 0 || block <= highest;
}

uint8_t LegacyBaseCode(int type) {
  if (type < 0 || type >= static_cast<int>(kLegacyBase.size())) return 0x00;
  return kLegacyBase[static_cast<size_t>(type)];
}

}  // namespace tw
