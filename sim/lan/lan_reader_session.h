// The simulated reader behind the TCP data port: each connection decodes its own command frames
// and gets the reader's answers, exactly as over the pseudo-terminal.
#pragma once
#include <memory>

#include "sim/core/sim_reader.h"
#include "sim/lan/lan_responder.h"

namespace tw::sim {

std::unique_ptr<ILanDataSession> MakeReaderSession(SimReader& reader);

}  // namespace tw::sim
