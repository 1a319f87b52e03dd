#include "sim/lan/lan_service.h"

#include <cstdio>
#include <cstdlib>

#include "sim/lan/lan_reader_session.h"

namespace tw::sim {

namespace {
bool ParseDotted(const std::string& s, std::array<uint8_t, 4>& out) {
  unsigned a, b, c, d;
  char extra;
  if (std::sscanf(s.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &d, &extra) != 4 || a > 255 || b > 255 ||
      c > 255 || d > 255)
    return false;
  out = {{uint8_t(a), uint8_t(b), uint8_t(c), uint8_t(d)}};
  return true;
}

bool ParseMac(const std::string& s, std::array<uint8_t, 6>& out) {
  unsigned v[6];
  char extra;
  if (std::sscanf(s.c_str(), "%x:%x:%x:%x:%x:%x%c", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5],
                  &extra) != 6)
    return false;
  for (int i = 0; i < 6; ++i) {
    if (v[i] > 255) return false;
    out[size_t(i)] = uint8_t(v[i]);
  }
  return true;
}

bool ParseNumber(const std::string& s, unsigned long max, unsigned long& v) {
  if (s.empty() || s[0] == '-') return false;
  char* end = nullptr;
  v = std::strtoul(s.c_str(), &end, 10);
  return *end == 0 && v <= max;
}
}  // namespace

const char* LanService::Help() {
  return "Ethernet (in a network namespace of its own; nothing is served without --bind):\n"
         "  --bind ADDR          IPv4 address the device holds; serves UDP 30718 and the data port\n"
         "  --tcp PORT           TCP data port (default 10001)\n"
         "  --lan-name NAME      device name, up to 16 characters (default LINE7)\n"
         "  --lan-product TEXT   product name (default QZ-LAN; another text makes a non-reader)\n"
         "  --lan-mac MAC        hardware address aa:bb:cc:dd:ee:ff\n"
         "  --lan-dhcp           record 0 shows 0.0.0.0 (the address came by DHCP)\n"
         "  --lan-host-bits N    host bits of the subnet mask (default 8)\n"
         "  --lan-gateway ADDR   gateway\n"
         "  --lan-maker XYZ      maker tag of the identify answer (default TWG)\n"
         "  --lan-record0-size N bytes of record 0 sent (fewer than 120: a broken device)\n"
         "  --lan-restart-ms N   unreachable this long after IP-SETUP or reset (default 300)\n"
         "  --lan-never-return   stays down after the first restart\n"
         "  --lan-iface IF       interface whose address follows the device's settings\n"
         "  --lan-log FILE       append one line per configuration request\n"
         "  --lan-close-after N  hang up each TCP connection after N answers\n"
         "  --lan-flood MS       answer a search with a flood of made-up devices for MS ms\n"
         "  --lan-echo           the data port echoes instead of answering as the reader\n";
}

bool LanService::TakeOption(int& i, int argc, char** argv, std::string& error) {
  const std::string opt = argv[i];
  // Flags first, then options with a value.
  if (opt == "--lan-dhcp") return opts_.device.dhcp = true, true;
  if (opt == "--lan-static") return opts_.device.dhcp = false, true;
  if (opt == "--lan-never-return") return opts_.neverReturn = true, true;
  if (opt == "--lan-echo") return echo_ = true, true;
  static const char* const kValued[] = {"--bind", "--tcp", "--lan-name", "--lan-product", "--lan-mac",
                                        "--lan-host-bits", "--lan-gateway", "--lan-maker",
                                        "--lan-record0-size", "--lan-restart-ms", "--lan-iface",
                                        "--lan-log", "--lan-close-after", "--lan-flood"};
  bool ours = false;
  for (const char* k : kValued) ours = ours || opt == k;
  if (!ours) return false;
  if (i + 1 >= argc) {
    error = opt + " needs a value";
    return true;
  }
  const std::string v = argv[++i];
  unsigned long n = 0;
  auto bad = [&](const char* what) {
    error = opt + " takes " + what;
    return true;
  };
  auto& d = opts_.device;
  if (opt == "--bind") {
    if (!ParseDotted(v, d.address)) return bad("an IPv4 address");
    enabled_ = true;
  } else if (opt == "--tcp") {
    if (!ParseNumber(v, 65535, n) || n == 0) return bad("1-65535");
    d.dataPort = static_cast<uint16_t>(n);
  } else if (opt == "--lan-name") {
    if (v.size() > 16) return bad("up to 16 characters");
    d.deviceName = v;
  } else if (opt == "--lan-product") {
    d.productName = v;
  } else if (opt == "--lan-mac") {
    if (!ParseMac(v, d.mac)) return bad("aa:bb:cc:dd:ee:ff");
  } else if (opt == "--lan-host-bits") {
    if (!ParseNumber(v, 32, n)) return bad("0-32");
    d.hostBits = static_cast<uint8_t>(n);
  } else if (opt == "--lan-gateway") {
    if (!ParseDotted(v, d.gateway)) return bad("an IPv4 address");
  } else if (opt == "--lan-maker") {
    if (v.size() != 3) return bad("three letters");
    d.makerTag = v;
  } else if (opt == "--lan-record0-size") {
    if (!ParseNumber(v, 505, n)) return bad("0-505");
    d.record0Size = n;
  } else if (opt == "--lan-restart-ms") {
    if (!ParseNumber(v, 600000, n)) return bad("0-600000");
    opts_.restartMs = static_cast<uint32_t>(n);
  } else if (opt == "--lan-iface") {
    opts_.iface = v;
  } else if (opt == "--lan-log") {
    opts_.logPath = v;
  } else if (opt == "--lan-close-after") {
    if (!ParseNumber(v, 1000000, n)) return bad("a count");
    opts_.closeAfterAnswers = static_cast<int>(n);
  } else if (opt == "--lan-flood") {
    if (!ParseNumber(v, 600000, n)) return bad("0-600000");
    opts_.floodMs = static_cast<uint32_t>(n);
  }
  return true;
}

LanSessionFactory LanService::Factory(SimReader& reader) {
  if (echo_) return [] { return MakeEchoSession(); };
  return [&reader] { return MakeReaderSession(reader); };
}

bool LanService::Start(SimReader& reader, std::string& error) {
  if (!enabled_) {
    error = "no --bind address";
    return false;
  }
  stop_ = false;
  thread_ = std::thread([this, &reader] {
    LanResponder responder(opts_, Factory(reader));
    if (responder.Run(stop_) != 0) std::fprintf(stderr, "tagwright-sim: LAN service ended\n");
  });
  return true;
}

int LanService::Run(SimReader& reader, const std::atomic<bool>& stop) {
  LanResponder responder(opts_, Factory(reader));
  return responder.Run(stop);
}

void LanService::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

}  // namespace tw::sim
