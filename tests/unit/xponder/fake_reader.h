// A scripted reader behind the port's test link: records every command (code, parameters, the
// port's timeout at that moment) and answers in the STX/BCC framing, from a script or a handler.
#pragma once
#include <cstdint>
#include <cstdio>
#include <ostream>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "sdk/qz_rw_port.h"

namespace tw::test {

using Bytes = std::vector<uint8_t>;

struct SentCommand {
  uint8_t cmd = 0;
  Bytes params;
  uint32_t timeoutMs = 0;
  bool operator==(const SentCommand& o) const { return cmd == o.cmd && params == o.params; }
};

struct Reply {
  uint8_t status = 0;
  Bytes data;
};

class FakeReader {
 public:
  // A handler returns the reply, or nothing to stay silent.
  using Handler = std::function<std::optional<Reply>(const SentCommand&)>;

  explicit FakeReader(CQZ_RW_Port& port, uint16_t capability, uint8_t firmware = 9)
      : port_(port) {
    port.SetCapabilityWord(capability);
    port.SetFirmwareByte(firmware);
    port.SetTimeout(30);
    port.AttachTestLink([this](CQZ_RW_Port& p, const CMyByteArray& frame) { OnFrame(p, frame); });
  }
  ~FakeReader() { port_.DetachTestLink(); }

  // Replies used in order before the handler is asked.
  void Script(std::initializer_list<Reply> replies) {
    for (const auto& r : replies) script_.push_back(r);
  }
  void SetHandler(Handler h) { handler_ = std::move(h); }

  const std::vector<SentCommand>& Sent() const { return sent_; }
  void Clear() { sent_.clear(); }
  int modulation = 0;  // follows FCh with a value

 private:
  void OnFrame(CQZ_RW_Port& p, const CMyByteArray& frame) {
    // STX, address, command, N, parameters, BCC
    SentCommand c;
    c.cmd = frame.at(2);
    c.params.assign(frame.begin() + 4, frame.begin() + 4 + frame.at(3));
    c.timeoutMs = p.Timeout();
    sent_.push_back(c);
    if (c.cmd == 0xFC && c.params.size() == 1) modulation = c.params[0];

    std::optional<Reply> reply;
    if (!script_.empty()) {
      reply = script_.front();
      script_.pop_front();
    } else if (handler_) {
      reply = handler_(c);
    } else {
      reply = Reply{};
    }
    if (!reply) return;
    Bytes answer{0x02, c.cmd, reply->status, static_cast<uint8_t>(reply->data.size())};
    answer.insert(answer.end(), reply->data.begin(), reply->data.end());
    uint8_t bcc = 0;
    for (size_t i = 1; i < answer.size(); ++i) bcc ^= answer[i];
    answer.push_back(bcc);
    p.OnBytesReceived(answer.data(), answer.size());
  }

  CQZ_RW_Port& port_;
  std::deque<Reply> script_;
  Handler handler_;
  std::vector<SentCommand> sent_;
};

inline void PrintTo(const SentCommand& c, std::ostream* os) {
  char buf[4];
  std::snprintf(buf, sizeof buf, "%02X", c.cmd);
  *os << buf << " [";
  for (size_t i = 0; i < c.params.size(); ++i) {
    std::snprintf(buf, sizeof buf, "%02X", c.params[i]);
    *os << (i ? " " : "") << buf;
  }
  *os << "]";
}

inline SentCommand Cmd(uint8_t cmd, Bytes params = {}) { return SentCommand{cmd, std::move(params), 0}; }

}  // namespace tw::test
