// Block reads and writes of every type on both reader generations, and the read-back after a write.
#include <algorithm>

#include "sdk/qz_rw_port.h"
#include "sdk/transponder_downlink.h"
#include "sdk/transponder_io.h"
#include "sdk/transponder_ops.h"
#include "sdk/type_table.h"

namespace tw {

using namespace xponder;

namespace {

// A block number travels in one command byte; types without a block limit could name more.
bool FitsBlockByte(int block) { return block >= 0 && block <= 0xFF; }

// Bytes per block as a unified reader counts them for C2h.
int UnifiedBlocksFor(int type, int byteCount) {
  if (type == 11) return byteCount;
  if (type == 15) return byteCount / 2;
  if (type == 33 || type == 34 || type == 35 || type == 37) return byteCount / 8;
  return byteCount / 4;
}

int BlockSize(int type) {
  if (type == 11) return 1;
  if (type == 15) return 2;
  if (type == 33 || type == 34 || type == 35 || type == 37) return 8;
  return 4;
}

uint8_t Lo(int v) { return static_cast<uint8_t>(v & 0xFF); }
uint8_t Hi(int v) { return static_cast<uint8_t>((v >> 8) & 0xFF); }

bool ReadWithRememberedPassword(CQZ_RW_Port& port, int type, int firstBlock, int byteCount,
                                CMyByteArray& out) {
  int remaining = byteCount;
  for (int block = firstBlock; remaining > 0; ++block) {
    CMyByteArray scratch;
    if (!ReadBlockWithPassword(port, type, block, scratch)) return false;
    // An empty success would never count down.
    if (scratch.empty()) return Fail(port, kErrEmptyAnswer);
    // The block read has already put a reversed answer in order; reversing it a second time here
    // would hand back password-mode data in the opposite order of a plain read.
    out.insert(out.end(), scratch.begin(), scratch.end());
    remaining -= static_cast<int>(scratch.size());
  }
  return true;
}

bool ReadUnified(CQZ_RW_Port& port, int type, int firstBlock, int byteCount, CMyByteArray& out) {
  const int blocks = UnifiedBlocksFor(type, byteCount);
  if (type == 15 && (firstBlock > 128 || blocks > 128)) {
    if (blocks > 0xFFFF) return Fail(port, kErrWrongDataCount);
    const CMyByteArray params =
        blocks <= 1 ? Join({15, 13, Lo(firstBlock), Hi(firstBlock)})
                    : Join({15, 2, Lo(firstBlock), Hi(firstBlock), Lo(blocks), Hi(blocks)});
    return Unified(port, 0xC4, params, out);
  }
  if (!FitsBlockByte(firstBlock)) return Fail(port, kErrBlockRange);
  if (blocks > 0xFF) return Fail(port, kErrWrongDataCount);
  return Unified(port, 0xC2,
                 CMyByteArray{static_cast<uint8_t>(type), static_cast<uint8_t>(firstBlock),
                              static_cast<uint8_t>(blocks)},
                 out);
}

bool ReadLegacy(CQZ_RW_Port& port, int type, int firstBlock, int byteCount, CMyByteArray& out) {
  if (type == 10) {
    const int last = byteCount / 4 - 1;  // the reader takes the number of blocks minus one
    if (last < 0 || last > 0xFF) return Fail(port, kErrWrongDataCount);
    return Legacy(port, 0xB0, CMyByteArray{0x00, 18, static_cast<uint8_t>(firstBlock),
                                           static_cast<uint8_t>(last)},
                  out);
  }
  const bool packed = type == 3 && SendsPackedStreams(port);
  const bool reverse = ReversesAnswers(port, type);
  int remaining = byteCount;
  for (int block = firstBlock; remaining > 0; ++block) {
    // Every block named goes through the check: a packed stream has only 3 block bits and a
    // command byte only 8, so a block beyond them would silently read another one.
    if (!BlockInRange(type, block) || !FitsBlockByte(block)) return Fail(port, kErrBlockRange);
    CMyByteArray answer;
    const bool ok =
        packed ? Legacy(port, 0x32, CMyByteArray{PackedReadBlock(block)}, answer)
               : Legacy(port, LegacyCommand(type, kLegacyReadBlock),
                        CMyByteArray{static_cast<uint8_t>(block)}, answer);
    if (!ok) return false;
    if (answer.empty()) return Fail(port, kErrEmptyAnswer);
    ReverseIf(reverse, answer);
    out.insert(out.end(), answer.begin(), answer.end());
    remaining -= static_cast<int>(answer.size());
  }
  return true;
}

bool IsProtectWrite(int type, int firstBlock) {
  if (type == 8 || type == 16) return firstBlock == 14 || firstBlock == 15;
  if (type == 19) return firstBlock == 30 || firstBlock == 31;
  return false;
}

// The data cut into 4-byte chunks, the last one padded with zero bytes.
std::vector<CMyByteArray> Chunks(const CMyByteArray& data) {
  std::vector<CMyByteArray> chunks;
  for (size_t i = 0; i < data.size(); i += 4) {
    CMyByteArray chunk(data.begin() + static_cast<std::ptrdiff_t>(i),
                       data.begin() + static_cast<std::ptrdiff_t>(std::min(i + 4, data.size())));
    chunk.resize(4, 0);
    chunks.push_back(std::move(chunk));
  }
  return chunks;
}

bool WriteLegacyBlock(CQZ_RW_Port& port, int type, int block, const CMyByteArray& chunk, int lock) {
  CMyByteArray answer;
  if (type == 10) {
    return Legacy(port, 0xB0, Join({0x00, 20, static_cast<uint8_t>(block)}, chunk), answer);
  }
  if (type == 3 && SendsPackedStreams(port)) {
    return Legacy(port, 0x31, PackedWriteBlock(chunk.data(), lock == 1, block), answer);
  }
  const uint8_t lockBit = lock == 1 && HasLockBitInBlock(type) ? 0x80 : 0x00;
  return Legacy(port, LegacyCommand(type, kLegacyWriteBlock),
                Join({static_cast<uint8_t>(block | lockBit)}, chunk), answer);
}

}  // namespace

bool ReadBlocks(CQZ_RW_Port& port, int typeWord, int firstBlock, int byteCount,
                CMyByteArray& out) {
  out.clear();
  const int type = TypeOf(typeWord);
  if (!BlockInRange(type, firstBlock)) return Fail(port, kErrBlockRange);
  if (byteCount < 0) return Fail(port, kErrWrongDataCount);

  if (port.PasswordMode() && UsesRememberedPassword(type)) {
    if (!ReadWithRememberedPassword(port, type, firstBlock, byteCount, out)) {
      out.clear();
      return false;
    }
    return true;  // never inverted
  }

  const bool ok = IsUnified(port) ? ReadUnified(port, type, firstBlock, byteCount, out)
                                  : ReadLegacy(port, type, firstBlock, byteCount, out);
  if (!ok) {
    out.clear();
    return false;
  }
  if (typeWord & kTypeOptionInvert) {
    for (auto& b : out) b = static_cast<uint8_t>(~b);
  }
  return true;
}

bool WriteBlocks(CQZ_RW_Port& port, int typeWord, int firstBlock, const CMyByteArray& data,
                 int lock) {
  const int type = TypeOf(typeWord);
  if (!BlockInRange(type, firstBlock)) return Fail(port, kErrBlockRange);
  // Nothing to write is not a successful write.
  if (data.empty()) return Fail(port, kErrWrongDataCount);

  CMyByteArray answer;
  if (IsProtectWrite(type, firstBlock)) {
    if (data.size() != 4) return Fail(port, kErrWrongDataCount);
    if (IsUnified(port)) {
      return Unified(port, 0xC4, Join({static_cast<uint8_t>(type), 0x03}, data), answer);
    }
    return Legacy(port, 0xA8, data, answer);
  }

  if (port.PasswordMode() && UsesRememberedPassword(type)) {
    int block = firstBlock;
    for (const CMyByteArray& chunk : Chunks(data)) {
      if (!WriteBlockWithPassword(port, type, block++, chunk.data(), lock)) return false;
    }
    return true;
  }

  if (IsUnified(port)) {
    if (type == 15 && firstBlock > 128) {
      return Unified(port, 0xC4, Join({15, 14, Lo(firstBlock), Hi(firstBlock)}, data), answer);
    }
    if (!FitsBlockByte(firstBlock)) return Fail(port, kErrBlockRange);
    const uint8_t lockBit = lock == 1 && HasLockBitInBlock(type) ? 0x80 : 0x00;
    return Unified(port, 0xC3,
                   Join({static_cast<uint8_t>(type), static_cast<uint8_t>(firstBlock | lockBit)},
                        data),
                   answer);
  }

  int block = firstBlock;
  for (const CMyByteArray& chunk : Chunks(data)) {
    if (!BlockInRange(type, block) || !FitsBlockByte(block)) return Fail(port, kErrBlockRange);
    if (!WriteLegacyBlock(port, type, block, chunk, lock)) return false;
    ++block;
  }
  return true;
}

bool VerifyWrittenBlocks(CQZ_RW_Port& port, int typeWord, int firstBlock,
                         const CMyByteArray& data) {
  const int type = TypeOf(typeWord);
  const bool inverted = type == 3 && (typeWord & kTypeOptionInvertedVerify);
  // Read back whole blocks: a count that is not a multiple of the block size would otherwise read
  // one block short on a unified reader and one partly padded block too many on a legacy one.
  const int size = BlockSize(type);
  const int count = (static_cast<int>(data.size()) + size - 1) / size * size;
  CMyByteArray readBack;
  if (!ReadBlocks(port, type | (inverted ? kTypeOptionInvert : 0), firstBlock, count, readBack) ||
      readBack.size() != static_cast<size_t>(count) ||
      !std::equal(data.begin(), data.end(), readBack.begin())) {
    return Fail(port, kErrReadBack);
  }
  return true;
}

}  // namespace tw
