// Windows has no pseudo-terminals for the built-in simulated reader to sit behind: the simulator
// runs elsewhere (tagwright-sim --tcp on another machine, or on a COM port) and is reached with --port.
#include "cli/cli_reader.h"

namespace tw::cli {

struct SimulatedReader::Impl {};

std::string SimulatedReader::WhyUnavailable() {
  return "the built-in simulated reader is not available on Windows; start tagwright-sim with "
         "--tcp PORT on another machine and give its address with --port A.B.C.D-PORT";
}

SimulatedReader::SimulatedReader() = default;
SimulatedReader::~SimulatedReader() = default;

bool SimulatedReader::Start(int, int, const std::string&, const std::string&, std::string& error) {
  error = WhyUnavailable();
  return false;
}

const std::string& SimulatedReader::PtyPath() const {
  static const std::string none;
  return none;
}

std::string SimulatedReader::Control(const std::string&) { return "error not running"; }

}  // namespace tw::cli
