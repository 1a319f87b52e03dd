// A complete simulated reader (see sim_instance.h).
#include "sim/core/sim_instance.h"

#include <errno.h>
#include <string.h>

#include "sim/core/sim_control.h"
#include "sim/core/sim_pty.h"
#include "sim/core/sim_trace.h"
#if __has_include("sim/transponders/transponder_field.h")
#include "sim/transponders/transponder_field.h"
#define TW_SIM_HAVE_FIELD 1
#endif

namespace tw::sim {

SimInstance::SimInstance() : reader_(std::make_unique<SimReader>()) {}

SimInstance::~SimInstance() { Stop(); }

bool SimInstance::Start(const SimInstanceOptions& o, std::string& error) {
  Stop();
  reader_ = std::make_unique<SimReader>(o.reader);
#ifdef TW_SIM_HAVE_FIELD
  if (o.withTransponders) {
    field_ = std::make_unique<TransponderField>();
    reader_->SetHandler(field_.get());
  }
#endif
  if (!o.tracePath.empty()) {
    trace_ = std::make_unique<SimTrace>();
    if (!trace_->Open(o.tracePath)) {
      error = "cannot open trace file " + o.tracePath + ": " + strerror(errno);
      Stop();
      return false;
    }
    reader_->SetTrace(trace_.get());
  }
  control_ = std::make_unique<SimControl>(*reader_);
  // The socket comes up before the pseudo-terminal, so whoever learns the device path can use
  // the socket at once.
  if (!o.controlPath.empty()) {
    socket_ = std::make_unique<SimControlSocket>(*control_);
    if (!socket_->Start(o.controlPath, error)) {
      Stop();
      return false;
    }
  }
  pty_ = std::make_unique<SimPtyTransport>(*reader_);
  if (!pty_->Start(error)) {
    Stop();
    return false;
  }
  control_->AddTransport(pty_.get());
  return true;
}

void SimInstance::Stop() {
  // The socket first (a control line may be hanging up the pseudo-terminal), then the transport:
  // nothing may reach the reader while the rest goes away.
  socket_.reset();
  pty_.reset();
  control_.reset();
  if (reader_) {
    reader_->SetTrace(nullptr);
    reader_->SetHandler(nullptr);
  }
  trace_.reset();
  field_.reset();
}

const std::string& SimInstance::PtyPath() const { return pty_ ? pty_->Path() : none_; }

std::string SimInstance::Control(const std::string& line) {
  return control_ ? control_->Execute(line) : "error simulator not running";
}

bool SimInstance::QuitRequested() const { return control_ && control_->QuitRequested(); }

}  // namespace tw::sim
