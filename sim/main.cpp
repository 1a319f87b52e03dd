// tagwright-sim: a simulated reader on a pseudo-terminal, with a control channel on standard input
// and an optional Unix socket, and an optional hex trace of every frame.
#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "sim/core/sim_control.h"
#include "sim/core/sim_instance.h"
#include "sim/core/sim_port_registry.h"
#include "sim/standin/hidapi/sim_hid_announce.h"
#include "sim/core/sim_text.h"
#include "sim/lan/lan_service.h"

using namespace tw::sim;

namespace {

void PrintHelp() {
  printf(
      "Usage: tagwright-sim [options]\n"
      "Simulated reader/writer on a pseudo-terminal. The first line written to standard output is\n"
      "the device path to open (e.g. /dev/pts/7); the reader then answers command frames there.\n"
      "\n"
      "Options:\n"
      "  --framing MODE       both (default): answer each frame in its own framing, STX/BCC or\n"
      "                       CRC-16; crc-only: answer CRC-16 frames only; stx-only: answer\n"
      "                       STX/BCC frames only; silent: never answer\n"
      "  --address N          device address the reader answers to (default 1); frames for other\n"
      "                       addresses get no answer\n"
      "  --version XXXX       version answer (command F0h): 3 hex type digits and a revision\n"
      "                       character (default 243A, a read/write unit with the unified command set)\n"
      "  --version-text TEXT  answer the version command with a text of 5-255 characters\n"
      "  --version-short XX   answer the version command with 0-3 characters\n"
      "  --reader-id N        identity number answered to command F8h (4 bytes, little-endian)\n"
      "  --timing             answer as slowly as a real reader: each answer waits for both\n"
      "                       frames' time on the line at the baud rate the host set (19200 when\n"
      "                       there is no serial line) plus the reader's air time for the command\n"
      "                       and transponder family (6-22 ms, listed in the README)\n"
      "  --trace FILE         append one line per frame to FILE: \"RX <hex bytes>\" for each frame\n"
      "                       received, \"TX <hex bytes>\" for each answer as sent (with any injected\n"
      "                       garbage or extra bytes); upper-case hex, single spaces\n"
      "  --control PATH       also serve the control commands on a Unix socket at PATH\n"
      "  --no-register        do not announce the terminal to the interface dialog (normally a\n"
      "                       file <pid>.pty in $TAGWRIGHT_SIM_REGISTRY, $XDG_RUNTIME_DIR/\n"
      "                       tagwright-sim or /tmp/tagwright-sim-<uid>, removed at exit)\n"
      "  --hid VID:PID:SERIAL[:IN:OUT]\n"
      "                       serve as a USB HID reader through the stand-in hidapi library\n"
      "                       (vendor and product id in hex, serial number string, report\n"
      "                       lengths with the id byte, default 9 and 9): announced as a file\n"
      "                       <pid>.hid in the same folder instead of the terminal\n"
      "  --help               this text\n"
      "\n"
      "Reader commands answered by the reader itself: F0h version, F8h reader id, F4h/F6h/FFh\n"
      "options (status 0), F5h field off/on, FCh modulation query (no parameter) and set (one\n"
      "parameter; status 03h when the model cannot switch to that value). Every other command goes\n"
      "to the transponders in the field; a command nobody knows gets status 18h (not supported).\n"
      "\n"
      "%s"
      "\n"
      "Standard input takes the same commands; replies go to standard output. The simulator ends on\n"
      "\"quit\", SIGINT or SIGTERM.\n",
      ControlHelp());
}

bool NeedValue(int& i, int argc, char** argv, std::string& value) {
  if (i + 1 >= argc) {
    fprintf(stderr, "tagwright-sim: %s needs a value\n", argv[i]);
    return false;
  }
  value = argv[++i];
  return true;
}

bool ParseUnsigned(const std::string& t, unsigned long max, unsigned long& v) {
  if (t.empty() || t[0] == '-') return false;
  char* end = nullptr;
  errno = 0;
  v = strtoul(t.c_str(), &end, 0);
  return *end == 0 && errno == 0 && v <= max;
}

}  // namespace

int main(int argc, char** argv) {
  SimReaderConfig config;
  std::string tracePath, controlPath, hidDevice;
  bool announce = true;
  LanService lan;  // the Ethernet side, when --bind is given
  for (int i = 1; i < argc; ++i) {
    const std::string opt = argv[i];
    std::string v;
    unsigned long n = 0;
    if (opt == "--help" || opt == "-h") {
      PrintHelp();
      fputs(LanService::Help(), stdout);
      return 0;
    } else if (opt == "--framing") {
      if (!NeedValue(i, argc, argv, v)) return 2;
      if (!ParseFramingMode(v, config.framing)) {
        fprintf(stderr, "tagwright-sim: --framing takes both, crc-only, stx-only or silent\n");
        return 2;
      }
    } else if (opt == "--address") {
      if (!NeedValue(i, argc, argv, v)) return 2;
      if (!ParseUnsigned(v, 255, n)) {
        fprintf(stderr, "tagwright-sim: --address takes 0-255\n");
        return 2;
      }
      config.address = static_cast<uint8_t>(n);
    } else if (opt == "--version" || opt == "--version-text" || opt == "--version-short") {
      if (!NeedValue(i, argc, argv, v)) return 2;
      const std::string kind = opt.substr(2);
      std::vector<uint8_t> answer(v.begin(), v.end());
      if (!ValidVersion(kind, answer)) {
        fprintf(stderr, "tagwright-sim: %s takes %s\n", opt.c_str(), VersionRule(kind).c_str());
        return 2;
      }
      config.version = answer;
    } else if (opt == "--reader-id") {
      if (!NeedValue(i, argc, argv, v)) return 2;
      if (!ParseUnsigned(v, 0xFFFFFFFFul, n)) {
        fprintf(stderr, "tagwright-sim: --reader-id takes a 32-bit number\n");
        return 2;
      }
      config.readerId = static_cast<uint32_t>(n);
    } else if (opt == "--timing") {
      config.timing = true;
    } else if (opt == "--trace") {
      if (!NeedValue(i, argc, argv, tracePath)) return 2;
    } else if (opt == "--hid") {
      if (!NeedValue(i, argc, argv, hidDevice)) return 2;
      if (!SimHidAnnouncement::ValidDevice(hidDevice)) {
        fprintf(stderr, "tagwright-sim: --hid takes VID:PID:SERIAL[:IN:OUT]\n");
        return 2;
      }
    } else if (opt == "--no-register") {
      announce = false;
    } else if (opt == "--control") {
      if (!NeedValue(i, argc, argv, controlPath)) return 2;
    } else if (std::string lanError; lan.TakeOption(i, argc, argv, lanError)) {
      if (!lanError.empty()) {
        fprintf(stderr, "tagwright-sim: %s\n", lanError.c_str());
        return 2;
      }
    } else {
      fprintf(stderr, "tagwright-sim: unknown option %s (see --help)\n", opt.c_str());
      return 2;
    }
  }

  // Signals are taken by the main thread only; a host closing a socket must not kill us.
  signal(SIGPIPE, SIG_IGN);
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  const SimInstanceOptions options{config, tracePath, controlPath};
  SimInstance sim;
  std::string error;
  if (!sim.Start(options, error)) {
    fprintf(stderr, "tagwright-sim: %s\n", error.c_str());
    return 1;
  }
  if (lan.Enabled() && !lan.Start(sim.Reader(), error)) {
    fprintf(stderr, "tagwright-sim: %s\n", error.c_str());
    return 1;
  }
  SimPortRegistration registration;
  SimHidAnnouncement hidAnnouncement;
  if (!hidDevice.empty()) {
    if (!hidAnnouncement.Announce(hidDevice, sim.PtyPath(), error)) {
      fprintf(stderr, "tagwright-sim: %s\n", error.c_str());
      return 1;
    }
  } else if (announce && !registration.Announce(sim.PtyPath(), error)) {
    fprintf(stderr, "tagwright-sim: %s\n", error.c_str());
  }
  printf("%s\n", sim.PtyPath().c_str());
  fflush(stdout);

  std::atomic<bool> done{false};
  std::thread input([&] {
    std::string pending;
    while (!done && !sim.QuitRequested()) {
      pollfd p{STDIN_FILENO, POLLIN, 0};
      if (poll(&p, 1, 200) <= 0) continue;
      char buf[512];
      const ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
      if (n <= 0) return;  // no more input; the socket and signals still work
      pending.append(buf, static_cast<size_t>(n));
      size_t eol;
      while ((eol = pending.find('\n')) != std::string::npos) {
        const std::string reply = sim.Control(pending.substr(0, eol));
        pending.erase(0, eol + 1);
        printf("%s\n", reply.c_str());
        fflush(stdout);
      }
      if (pending.size() > 4096) pending.clear();
    }
  });

  const timespec tick{0, 100 * 1000 * 1000};
  while (!sim.QuitRequested()) {
    const int sig = sigtimedwait(&stopSignals, nullptr, &tick);
    if (sig == SIGINT || sig == SIGTERM) break;
  }
  done = true;
  input.join();
  registration.Withdraw();
  hidAnnouncement.Withdraw();
  lan.Stop();
  sim.Stop();
  return 0;
}
