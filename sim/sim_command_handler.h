// Contract between the simulated reader (frames, framing, reader commands) and the transponder
// models in its field. The reader decodes a frame and offers every command it does not answer
// itself to the transponder side.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tw::sim {

// What the reader is, as the transponder side needs to know it.
struct SimReaderState {
  uint16_t capability = 0x0100;  // capability word of the reader's model (bit 100h: unified commands)
  int modulation = 0;            // the reader's current modulation value (command FCh)
};

struct SimAnswer {
  uint8_t status = 0;
  std::vector<uint8_t> data;
  uint32_t radioMicros = 0;  // time the reader spent talking to the transponder (timing model)
};

class ISimCommandHandler {
 public:
  virtual ~ISimCommandHandler() = default;
  // Handles one command. Returns false when the command is not a transponder command (the reader
  // then answers it with its "unknown command" status). May change reader.modulation.
  virtual bool Handle(uint8_t cmd, const std::vector<uint8_t>& params, SimReaderState& reader,
                      SimAnswer& answer) = 0;
  // Field switched off (F5h 0) or on (F5h 1): tags lose their login when the field goes off.
  virtual void OnFieldChanged(bool on) = 0;
  // A control-channel line the reader does not know (e.g. "tag add …", "feed …"). Returns false when
  // the line is not for the transponder side; otherwise fills reply (one line, no line end).
  virtual bool HandleControl(const std::string& line, std::string& reply) = 0;
};

}  // namespace tw::sim
