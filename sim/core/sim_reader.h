// The simulated reader: one device address, one version answer, the reader's own commands
// (version, reader id, options, field, modulation) and the faults a test can switch on. Every
// byte transport (pseudo-terminal now; TCP or HID later) feeds its received bytes through
// ServeBytes with a decoder of its own and sends what comes back.
#pragma once
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "sim/core/sim_frame.h"
#include "sim/core/sim_timing.h"
#include "sim/sim_command_handler.h"

namespace tw::sim {

class SimTrace;

enum class SimFramingMode { kBoth, kCrcOnly, kStxOnly, kSilent };

// Status bytes of the simulated reader's own failures.
constexpr uint8_t kSimStatusUnknownCommand = 0x18;  // "not supported", as the SDK reads it
constexpr uint8_t kSimStatusBadParameter = 0x03;

struct SimReaderConfig {
  SimFramingMode framing = SimFramingMode::kBoth;
  uint8_t address = 1;
  std::vector<uint8_t> version = {'2', '4', '3', 'A'};  // read/write unit, enhanced
  uint32_t readerId = 0x00012345;
  bool timing = false;  // hold every answer back as long as a real reader would (sim_timing.h)
};

// Faults applied to answers. A count of -1 means "every answer", 0 "off", n > 0 "the next n".
struct SimFaults {
  uint32_t delayMs = 0;
  int silence = 0;
  int badCheck = 0;
  int dropWrite = 0;  // block writes done, but their answers not sent (-1 always, N: the next N)
  std::vector<uint8_t> garbage;  // sent before every answer frame
  std::vector<uint8_t> extra;    // sent after every answer frame
};

bool ParseFramingMode(const std::string& text, SimFramingMode& mode);
const char* FramingModeName(SimFramingMode mode);

class SimReader {
 public:
  explicit SimReader(const SimReaderConfig& config = {});

  // The transponder side; may be null (then every transponder command is unknown). Not owned.
  void SetHandler(ISimCommandHandler* handler);
  void SetTrace(SimTrace* trace);  // not owned; may be null

  // Answer to one frame: the bytes to send (empty: no answer) after delayMs and, with the timing
  // model on, after the wire and air time of the exchange (holdMicros) on top.
  struct Reply {
    std::vector<uint8_t> bytes;
    uint32_t delayMs = 0;
    uint32_t holdMicros = 0;
  };
  Reply HandleFrame(const SimCommandFrame& frame, const SimLine& line = SimLine{});

  // Decodes received bytes, answers every complete frame through send (after the answer delay),
  // tracing each frame. Runs on the transport's thread. line: the serial settings the host made
  // (transports without a serial line keep the default).
  void ServeBytes(SimFrameDecoder& decoder, const uint8_t* data, size_t len,
                  const std::function<void(const std::vector<uint8_t>&)>& send,
                  const SimLine& line = SimLine{});

  // A control line for the reader itself. Returns false when the line is not a reader command;
  // otherwise reply holds "ok ..." or "error ...". Lines it does not know go to the handler.
  bool Control(const std::string& line, std::string& reply);

  SimReaderConfig Config() const;
  SimFaults Faults() const;
  SimReaderState State() const;

 private:
  SimAnswer Answer(const SimCommandFrame& frame);
  std::string StateLine() const;

  mutable std::mutex mu_;
  SimReaderConfig config_;
  SimFaults faults_;
  SimReaderState state_;
  bool fieldOn_ = true;
  ISimCommandHandler* handler_ = nullptr;
  SimTrace* trace_ = nullptr;
};

}  // namespace tw::sim
