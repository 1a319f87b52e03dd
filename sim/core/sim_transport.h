// A byte transport of the simulator: something a host reaches the reader over (pseudo-terminal,
// later TCP or HID). The control channel can hang each one up.
#pragma once
#include <string>

namespace tw::sim {

class ISimTransport {
 public:
  virtual ~ISimTransport() = default;
  // Drops the connection the way a vanished device does. Returns false when there was nothing to
  // drop; detail says what happened (one short phrase).
  virtual bool Hangup(std::string& detail) = 0;
  virtual std::string Name() const = 0;
};

}  // namespace tw::sim
