// Frame code of the simulated reader (see sim_frame.h).
#include "sim/core/sim_frame.h"

#include <algorithm>

namespace tw::sim {

uint16_t SimCrc16(const uint8_t* data, size_t len) {
  uint16_t crc = 0xFFFF;
  for (size_t i = 0; i < len; ++i) {
    crc ^= data[i];
    for (int b = 0; b < 8; ++b) crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
  }
  return crc;
}

uint8_t SimXor(const uint8_t* data, size_t len) {
  uint8_t x = 0;
  for (size_t i = 0; i < len; ++i) x ^= data[i];
  return x;
}

static std::vector<uint8_t> Wrap(SimFraming framing, uint8_t first, uint8_t second,
                                 const std::vector<uint8_t>& body) {
  const size_t n = std::min<size_t>(body.size(), 255);
  std::vector<uint8_t> out;
  out.reserve(n + 5);
  if (framing == SimFraming::kStxBcc) out.push_back(0x02);
  out.push_back(first);
  out.push_back(second);
  out.push_back(static_cast<uint8_t>(n));
  out.insert(out.end(), body.begin(), body.begin() + static_cast<std::ptrdiff_t>(n));
  if (framing == SimFraming::kStxBcc) {
    out.push_back(SimXor(out.data() + 1, out.size() - 1));
  } else {
    const uint16_t crc = SimCrc16(out.data(), out.size());
    out.push_back(static_cast<uint8_t>(crc & 0xFF));
    out.push_back(static_cast<uint8_t>(crc >> 8));
  }
  return out;
}

std::vector<uint8_t> EncodeAnswer(SimFraming framing, uint8_t echo, uint8_t status,
                                  const std::vector<uint8_t>& data) {
  return Wrap(framing, echo, status, data);
}

std::vector<uint8_t> EncodeCommand(SimFraming framing, uint8_t address, uint8_t command,
                                   const std::vector<uint8_t>& params) {
  return Wrap(framing, address, command, params);
}

// Checks one framing at the start of buf. Returns kFrame, kNeedMore or kGarbage for that framing.
static SimParse TryStx(const std::vector<uint8_t>& buf, SimCommandFrame& f, size_t& consumed) {
  if (buf.empty() || buf[0] != 0x02) return SimParse::kGarbage;
  if (buf.size() < 4) return SimParse::kNeedMore;
  const size_t n = buf[3];
  if (buf.size() < n + 5) return SimParse::kNeedMore;
  if (SimXor(buf.data() + 1, n + 3) != buf[n + 4]) return SimParse::kGarbage;
  f.framing = SimFraming::kStxBcc;
  f.address = buf[1];
  f.command = buf[2];
  f.params.assign(buf.begin() + 4, buf.begin() + 4 + static_cast<std::ptrdiff_t>(n));
  f.raw.assign(buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(n + 5));
  consumed = n + 5;
  return SimParse::kFrame;
}

static SimParse TryCrc(const std::vector<uint8_t>& buf, SimCommandFrame& f, size_t& consumed) {
  if (buf.size() < 3) return SimParse::kNeedMore;
  const size_t n = buf[2];
  if (buf.size() < n + 5) return SimParse::kNeedMore;
  const uint16_t crc = SimCrc16(buf.data(), n + 3);
  if (buf[n + 3] != (crc & 0xFF) || buf[n + 4] != (crc >> 8)) return SimParse::kGarbage;
  f.framing = SimFraming::kCrc16;
  f.address = buf[0];
  f.command = buf[1];
  f.params.assign(buf.begin() + 3, buf.begin() + 3 + static_cast<std::ptrdiff_t>(n));
  f.raw.assign(buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(n + 5));
  consumed = n + 5;
  return SimParse::kFrame;
}

SimParse ParseCommandFrame(const std::vector<uint8_t>& buf, SimCommandFrame& frame, size_t& consumed) {
  // A frame starting with 02h may be STX/BCC, or CRC-16 addressed to reader 2: whichever framing
  // completes with a valid check code first wins.
  const SimParse stx = TryStx(buf, frame, consumed);
  if (stx == SimParse::kFrame) return stx;
  const SimParse crc = TryCrc(buf, frame, consumed);
  if (crc == SimParse::kFrame) return crc;
  if (stx == SimParse::kNeedMore || crc == SimParse::kNeedMore) return SimParse::kNeedMore;
  return SimParse::kGarbage;
}

// Offset of the first complete, valid frame after offset 0, or 0 when there is none.
static size_t FindLaterFrame(const std::vector<uint8_t>& buf) {
  for (size_t k = 1; k + 5 <= buf.size(); ++k) {
    const std::vector<uint8_t> rest(buf.begin() + static_cast<std::ptrdiff_t>(k), buf.end());
    SimCommandFrame f;
    size_t used = 0;
    if (TryStx(rest, f, used) == SimParse::kFrame || TryCrc(rest, f, used) == SimParse::kFrame) return k;
  }
  return 0;
}

std::vector<SimCommandFrame> SimFrameDecoder::Feed(const uint8_t* data, size_t len, uint32_t nowMs) {
  std::vector<SimCommandFrame> frames;
  if (len == 0) return frames;
  if (!buf_.empty() && nowMs - lastMs_ > gapLimitMs_) {
    dropped_ += buf_.size();
    buf_.clear();
  }
  lastMs_ = nowMs;
  buf_.insert(buf_.end(), data, data + len);
  for (;;) {
    SimCommandFrame f;
    size_t used = 0;
    const SimParse r = ParseCommandFrame(buf_, f, used);
    if (r == SimParse::kNeedMore) {
      // A stray byte can look like the start of a long frame; a complete valid frame further on
      // shows that it was not one.
      const size_t skip = FindLaterFrame(buf_);
      if (skip == 0) break;
      dropped_ += skip;
      buf_.erase(buf_.begin(), buf_.begin() + static_cast<std::ptrdiff_t>(skip));
      continue;
    }
    if (r == SimParse::kGarbage) {
      buf_.erase(buf_.begin());
      ++dropped_;
      continue;
    }
    buf_.erase(buf_.begin(), buf_.begin() + static_cast<std::ptrdiff_t>(used));
    frames.push_back(std::move(f));
  }
  return frames;
}

}  // namespace tw::sim
