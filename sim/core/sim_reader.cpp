// Reader core of the simulator.
#include "sim/core/sim_reader.h"

#include <cstdio>
#include <sstream>
#include <thread>

#include "platform/tick.h"
#include "sim/core/sim_capability.h"
#include "sim/core/sim_text.h"
#include "sim/core/sim_trace.h"

namespace tw::sim {

bool ParseFramingMode(const std::string& t, SimFramingMode& mode) {
  if (t == "both")
    mode = SimFramingMode::kBoth;
  else if (t == "crc-only")
    mode = SimFramingMode::kCrcOnly;
  else if (t == "stx-only")
    mode = SimFramingMode::kStxOnly;
  else if (t == "silent")
    mode = SimFramingMode::kSilent;
  else
    return false;
  return true;
}

const char* FramingModeName(SimFramingMode mode) {
  switch (mode) {
    case SimFramingMode::kBoth:
      return "both";
    case SimFramingMode::kCrcOnly:
      return "crc-only";
    case SimFramingMode::kStxOnly:
      return "stx-only";
    case SimFramingMode::kSilent:
      return "silent";
  }
  return "both";
}

SimReader::SimReader(const SimReaderConfig& config) : config_(config) {
  state_.capability = SimCapabilityFromVersion(config_.version);
}

void SimReader::SetHandler(ISimCommandHandler* handler) {
  std::lock_guard<std::mutex> lock(mu_);
  handler_ = handler;
}

void SimReader::SetTrace(SimTrace* trace) {
  std::lock_guard<std::mutex> lock(mu_);
  trace_ = trace;
}

SimReaderConfig SimReader::Config() const {
  std::lock_guard<std::mutex> lock(mu_);
  return config_;
}

SimFaults SimReader::Faults() const {
  std::lock_guard<std::mutex> lock(mu_);
  return faults_;
}

SimReaderState SimReader::State() const {
  std::lock_guard<std::mutex> lock(mu_);
  return state_;
}

// Commands that write data blocks: the unified write, the legacy per-family writes, Hitag µ's.
static bool IsBlockWrite(const SimCommandFrame& f) {
  switch (f.command) {
    case 0xC3: case 0x21: case 0x30: case 0x31: case 0x41: case 0x51: case 0x61: case 0xA1:
      return true;
    case 0xB0:
      return f.params.size() > 1 && (f.params[1] == 20 || f.params[1] == 22);
    default:
      return false;
  }
}

// Uses up one answer of a counted fault; true when the fault applies to this answer.
static bool TakeFault(int& count) {
  if (count == 0) return false;
  if (count > 0) --count;
  return true;
}

SimAnswer SimReader::Answer(const SimCommandFrame& f) {
  SimAnswer a;
  const auto& p = f.params;
  switch (f.command) {
    case 0xF0:
      a.data = config_.version;
      return a;
    case 0xF8:
      for (int i = 0; i < 4; ++i) a.data.push_back(static_cast<uint8_t>(config_.readerId >> (8 * i)));
      return a;
    case 0xF4:
    case 0xF6:
    case 0xFF:
      return a;  // options are accepted; the frame itself is in the trace
    case 0xF5:
      if (p.empty()) {
        a.status = kSimStatusBadParameter;
        return a;
      }
      fieldOn_ = p[0] != 0;
      if (handler_) handler_->OnFieldChanged(fieldOn_);
      return a;
    case 0xFC: {
      if (p.empty()) {
        a.data.push_back(static_cast<uint8_t>(state_.modulation));
        return a;
      }
      // Bit 80h: every value; bit 40h: only 0 and 1; neither: no modulation switching at all.
      const uint16_t cap = state_.capability;
      if ((cap & 0x80) || ((cap & 0x40) && p[0] < 2)) {
        state_.modulation = p[0];
      } else {
        a.status = kSimStatusBadParameter;
      }
      return a;
    }
    default:
      break;
  }
  if (handler_ && handler_->Handle(f.command, p, state_, a)) return a;
  a = SimAnswer{};
  a.status = kSimStatusUnknownCommand;
  return a;
}

SimReader::Reply SimReader::HandleFrame(const SimCommandFrame& f, const SimLine& line) {
  std::lock_guard<std::mutex> lock(mu_);
  if (trace_) trace_->Rx(f.raw);
  Reply r;
  if (f.address != config_.address) return r;
  switch (config_.framing) {
    case SimFramingMode::kSilent:
      return r;
    case SimFramingMode::kCrcOnly:
      if (f.framing != SimFraming::kCrc16) return r;
      break;
    case SimFramingMode::kStxOnly:
      if (f.framing != SimFraming::kStxBcc) return r;
      break;
    case SimFramingMode::kBoth:
      break;
  }
  const SimAnswer a = Answer(f);
  if (TakeFault(faults_.silence)) return r;
  if (IsBlockWrite(f) && TakeFault(faults_.dropWrite)) return r;
  std::vector<uint8_t> frame = EncodeAnswer(f.framing, config_.address, a.status, a.data);
  if (TakeFault(faults_.badCheck)) frame.back() ^= 0xFF;
  r.bytes = faults_.garbage;
  r.bytes.insert(r.bytes.end(), frame.begin(), frame.end());
  r.bytes.insert(r.bytes.end(), faults_.extra.begin(), faults_.extra.end());
  r.delayMs = faults_.delayMs;
  if (config_.timing) r.holdMicros = WireMicros(f.raw.size() + r.bytes.size(), line) + a.radioMicros;
  return r;
}

void SimReader::ServeBytes(SimFrameDecoder& decoder, const uint8_t* data, size_t len,
                           const std::function<void(const std::vector<uint8_t>&)>& send,
                           const SimLine& line) {
  for (const SimCommandFrame& f : decoder.Feed(data, len, TickCount())) {
    const Reply r = HandleFrame(f, line);
    if (r.bytes.empty()) continue;
    const auto hold = std::chrono::milliseconds(r.delayMs) + std::chrono::microseconds(r.holdMicros);
    if (hold.count() > 0) std::this_thread::sleep_for(hold);
    SimTrace* trace;
    {
      std::lock_guard<std::mutex> lock(mu_);
      trace = trace_;
    }
    if (trace) trace->Tx(r.bytes);  // before sending, so the line is there when the host sees it
    send(r.bytes);
  }
}

// "on" → -1 (always), "off" → 0, a positive number → that many answers.
static bool ParseCount(const std::string& t, int& count) {
  if (t == "on")
    count = -1;
  else if (t == "off")
    count = 0;
  else {
    char* end = nullptr;
    const long v = strtol(t.c_str(), &end, 10);
    if (t.empty() || *end || v < 0 || v > 1000000) return false;
    count = static_cast<int>(v);
  }
  return true;
}

static std::string CountText(int c) { return c < 0 ? "on" : c == 0 ? "off" : std::to_string(c); }

static bool ParseNumber(const std::string& t, uint32_t& v) {
  if (t.empty()) return false;
  char* end = nullptr;
  const unsigned long long n = strtoull(t.c_str(), &end, 0);
  if (*end || n > 0xFFFFFFFFull || t[0] == '-') return false;
  v = static_cast<uint32_t>(n);
  return true;
}

std::string SimReader::StateLine() const {
  char cap[8];
  snprintf(cap, sizeof cap, "%04X", state_.capability);
  std::string version(config_.version.begin(), config_.version.end());
  return std::string("framing=") + FramingModeName(config_.framing) +
         " address=" + std::to_string(config_.address) + " version=" + version + " capability=" + cap +
         " modulation=" + std::to_string(state_.modulation) + " field=" + (fieldOn_ ? "on" : "off") +
         " timing=" + (config_.timing ? "on" : "off") + " delay=" + std::to_string(faults_.delayMs) + " silence=" + CountText(faults_.silence) +
         " bad-check=" + CountText(faults_.badCheck) + " drop-write=" + CountText(faults_.dropWrite) + " garbage=" + std::to_string(faults_.garbage.size()) +
         " extra=" + std::to_string(faults_.extra.size());
}

bool SimReader::Control(const std::string& line, std::string& reply) {
  std::istringstream in(line);
  std::string cmd, arg;
  in >> cmd;
  std::getline(in >> std::ws, arg);
  while (!arg.empty() && (arg.back() == ' ' || arg.back() == '\r')) arg.pop_back();

  std::lock_guard<std::mutex> lock(mu_);
  uint32_t n = 0;
  if (cmd == "delay") {
    if (!ParseNumber(arg, n) || n > 600000) return reply = "error delay needs milliseconds (0-600000)", true;
    faults_.delayMs = n;
    return reply = "ok delay " + std::to_string(n), true;
  }
  if (cmd == "silence" || cmd == "bad-check" || cmd == "drop-write") {
    int& count = cmd == "silence" ? faults_.silence : cmd == "bad-check" ? faults_.badCheck : faults_.dropWrite;
    if (!ParseCount(arg, count)) return reply = "error " + cmd + " needs on, off or a count", true;
    return reply = "ok " + cmd + " " + CountText(count), true;
  }
  if (cmd == "garbage" || cmd == "extra") {
    std::vector<uint8_t>& bytes = cmd == "garbage" ? faults_.garbage : faults_.extra;
    if (arg == "off") {
      bytes.clear();
      return reply = "ok " + cmd + " off", true;
    }
    std::vector<uint8_t> parsed;
    if (!ParseHexBytes(arg, parsed) || parsed.empty() || parsed.size() > 1024)
      return reply = "error " + cmd + " needs hex bytes or off", true;
    bytes = parsed;
    return reply = "ok " + cmd + " " + std::to_string(bytes.size()), true;
  }
  if (cmd == "timing") {
    if (arg != "on" && arg != "off") return reply = "error timing needs on or off", true;
    config_.timing = arg == "on";
    return reply = "ok timing " + arg, true;
  }
  if (cmd == "reset-faults") {
    faults_ = SimFaults{};
    return reply = "ok reset-faults", true;
  }
  if (cmd == "framing") {
    if (!ParseFramingMode(arg, config_.framing))
      return reply = "error framing needs both, crc-only, stx-only or silent", true;
    return reply = std::string("ok framing ") + FramingModeName(config_.framing), true;
  }
  if (cmd == "address") {
    if (!ParseNumber(arg, n) || n > 255) return reply = "error address needs 0-255", true;
    config_.address = static_cast<uint8_t>(n);
    return reply = "ok address " + std::to_string(n), true;
  }
  if (cmd == "reader-id") {
    if (!ParseNumber(arg, n)) return reply = "error reader-id needs a 32-bit number", true;
    config_.readerId = n;
    return reply = "ok reader-id " + std::to_string(n), true;
  }
  if (cmd == "version" || cmd == "version-text" || cmd == "version-short") {
    std::vector<uint8_t> v(arg.begin(), arg.end());
    if (!ValidVersion(cmd, v)) return reply = "error " + cmd + ": " + VersionRule(cmd), true;
    config_.version = v;
    state_.capability = SimCapabilityFromVersion(v);
    char cap[8];
    snprintf(cap, sizeof cap, "%04X", state_.capability);
    return reply = "ok " + cmd + " capability " + cap, true;
  }
  if (cmd == "state") return reply = "ok " + StateLine(), true;
  if (handler_ && handler_->HandleControl(line, reply)) return true;
  return false;
}

}  // namespace tw::sim
