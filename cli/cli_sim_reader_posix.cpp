#include "cli/cli_reader.h"
#include "sim/core/sim_instance.h"

namespace tw::cli {

struct SimulatedReader::Impl {
  sim::SimInstance sim;
};

std::string SimulatedReader::WhyUnavailable() { return std::string(); }

SimulatedReader::SimulatedReader() = default;
SimulatedReader::~SimulatedReader() {
  if (impl_) impl_->sim.Stop();
}

bool SimulatedReader::Start(int transponderType, int feedMs, const std::string& version,
                            const std::string& trace, std::string& error) {
  sim::SimInstanceOptions options;
  if (!version.empty()) {
    if (version.size() != 4) {
      error = "--sim-version takes 4 characters (3 hex digits of the model and a revision)";
      return false;
    }
    options.reader.version.assign(version.begin(), version.end());
  }
  options.tracePath = trace;
  impl_ = std::make_unique<Impl>();
  if (!impl_->sim.Start(options, error)) {
    impl_.reset();
    return false;
  }
  const std::string reply =
      impl_->sim.Control("feed " + std::to_string(transponderType) + " " + std::to_string(feedMs));
  if (reply.rfind("ok", 0) != 0) {
    error = "simulated reader: " + reply;
    return false;
  }
  return true;
}

const std::string& SimulatedReader::PtyPath() const {
  static const std::string none;
  return impl_ ? impl_->sim.PtyPath() : none;
}

std::string SimulatedReader::Control(const std::string& line) {
  return impl_ ? impl_->sim.Control(line) : std::string("error not running");
}

}  // namespace tw::cli
