// tagwright-sim-lan: one simulated Ethernet reader (configuration responder on UDP 30718 and the
// TCP data port) and nothing else. Meant to run inside a network namespace of its own.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "sim/core/sim_reader.h"
#include "sim/lan/lan_service.h"
#if __has_include("sim/transponders/transponder_field.h")
#include "sim/transponders/transponder_field.h"
#define TW_SIM_LAN_HAVE_FIELD 1
#endif

namespace {
std::atomic<bool> gStop{false};
void OnSignal(int) { gStop = true; }

void Usage() {
  std::fprintf(stderr,
               "usage: tagwright-sim-lan --bind ADDR [options]\n"
               "  --address N          device address of the reader (default 1)\n"
               "  --control LINE       run one control line at start, e.g. \"tag add hitags A1B2C3D4\"\n"
               "%s",
               tw::sim::LanService::Help());
}
}  // namespace

int main(int argc, char** argv) {
  tw::sim::LanService lan;
  tw::sim::SimReaderConfig readerConfig;
  std::vector<std::string> controlLines;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    std::string error;
    if (lan.TakeOption(i, argc, argv, error)) {
      if (!error.empty()) {
        std::fprintf(stderr, "tagwright-sim-lan: %s\n", error.c_str());
        return 2;
      }
    } else if ((a == "--address" || a == "--control") && i + 1 < argc) {
      if (a == "--address")
        readerConfig.address = static_cast<uint8_t>(std::atoi(argv[++i]));
      else
        controlLines.push_back(argv[++i]);
    } else {
      Usage();
      return 2;
    }
  }
  if (!lan.Enabled()) {
    Usage();
    return 2;
  }
  std::signal(SIGTERM, OnSignal);
  std::signal(SIGINT, OnSignal);
  std::signal(SIGPIPE, SIG_IGN);
  tw::sim::SimReader reader(readerConfig);
#ifdef TW_SIM_LAN_HAVE_FIELD
  tw::sim::TransponderField field;
  reader.SetHandler(&field);
#endif
  for (const auto& line : controlLines) {
    std::string reply;
    if (!reader.Control(line, reply) || reply.rfind("ok", 0) != 0) {
      std::fprintf(stderr, "tagwright-sim-lan: %s: %s\n", line.c_str(), reply.c_str());
      return 2;
    }
  }
  return lan.Run(reader, gStop);
}
