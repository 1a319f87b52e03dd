#include "sim/lan/lan_responder.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

namespace tw::sim {

namespace {
class EchoSession : public ILanDataSession {
 public:
  void OnBytes(const uint8_t* data, size_t len, std::vector<uint8_t>& out) override {
    out.assign(data, data + len);
  }
};

std::string Dotted(const std::array<uint8_t, 4>& a) {
  char buf[20];
  std::snprintf(buf, sizeof buf, "%d.%d.%d.%d", a[0], a[1], a[2], a[3]);
  return buf;
}

int RunIp(const std::vector<std::string>& args) {
  pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>("ip"));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp("ip", argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
}  // namespace

std::unique_ptr<ILanDataSession> MakeEchoSession() { return std::make_unique<EchoSession>(); }

LanResponder::LanResponder(const LanResponderOptions& opts, LanSessionFactory factory)
    : opts_(opts), factory_(std::move(factory)), device_(opts.device) {}

LanResponder::~LanResponder() { CloseSockets(); }

bool LanResponder::OpenSockets() {
  udp_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (udp_ < 0) return false;
  int one = 1;
  setsockopt(udp_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  setsockopt(udp_, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
  // Any address, so that broadcasts to the subnet reach us too.
  sockaddr_in any{};
  any.sin_family = AF_INET;
  any.sin_port = htons(30718);
  any.sin_addr.s_addr = htonl(INADDR_ANY);
  if (bind(udp_, reinterpret_cast<sockaddr*>(&any), sizeof any) != 0) {
    std::perror("sim-lan: udp bind");
    return false;
  }
  if (!opts_.tcp) return true;
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener_ < 0) return false;
  setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_port = htons(device_.Active().dataPort);
  std::memcpy(&at.sin_addr, device_.Active().address.data(), 4);
  if (bind(listener_, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || listen(listener_, 4) != 0) {
    std::perror("sim-lan: tcp bind");
    return false;
  }
  return true;
}

void LanResponder::CloseSockets() {
  if (udp_ >= 0) close(udp_);
  if (listener_ >= 0) close(listener_);
  udp_ = listener_ = -1;
  for (auto& c : clients_) close(c.fd);
  clients_.clear();
}

void LanResponder::ApplyAddress() {
  if (opts_.iface.empty()) return;
  const auto& a = device_.Active();
  std::string cidr = Dotted(a.address) + "/" + std::to_string(32 - std::min<int>(a.hostBits, 32));
  RunIp({"addr", "flush", "dev", opts_.iface, "scope", "global"});
  if (RunIp({"addr", "add", cidr, "dev", opts_.iface}) != 0)
    std::fprintf(stderr, "sim-lan: could not set %s on %s\n", cidr.c_str(), opts_.iface.c_str());
}

void LanResponder::FlushEvents() {
  if (device_.Events().empty()) return;
  if (!opts_.logPath.empty()) {
    if (FILE* f = std::fopen(opts_.logPath.c_str(), "a")) {
      for (const auto& e : device_.Events()) std::fprintf(f, "%s\n", e.c_str());
      std::fclose(f);
    }
  }
  device_.ClearEvents();
}

void LanResponder::ServeUdp() {
  uint8_t buf[2048];
  sockaddr_in from{};
  socklen_t fromLen = sizeof from;
  ssize_t n = recvfrom(udp_, buf, sizeof buf, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), &fromLen);
  if (n <= 0) return;
  std::vector<uint8_t> reply;
  device_.Handle(buf, static_cast<size_t>(n), reply);
  if (!reply.empty())
    sendto(udp_, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), fromLen);
  // A search (setup record 0, answer code F9h) answered by a stream of devices that do not exist,
  // each with a name of its own; they never answer anything else. Nothing else is served meanwhile.
  constexpr size_t kNameAt = 4 + 112;
  if (opts_.floodMs > 0 && reply.size() >= kNameAt + 8 && reply[3] == 0xF9) {
    const auto start = std::chrono::steady_clock::now();
    for (unsigned k = 0; std::chrono::steady_clock::now() - start <
                         std::chrono::milliseconds(opts_.floodMs) && !(stop_ && *stop_);
         ++k) {
      char name[9];
      std::snprintf(name, sizeof name, "FL%06X", k & 0xFFFFFF);
      std::memcpy(reply.data() + kNameAt, name, 8);
      sendto(udp_, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), fromLen);
      if (k % 16 == 15) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
}

void LanResponder::AcceptClient() {
  int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return;
  Client c;
  c.fd = fd;
  c.session = factory_ ? factory_() : MakeEchoSession();
  clients_.push_back(std::move(c));
}

int LanResponder::Run(const std::atomic<bool>& stop) {
  stop_ = &stop;
  if (!OpenSockets()) return 1;
  device_.CompleteRestart();  // logs "UP": the device is reachable
  FlushEvents();
  std::printf("lan device %s up\n", Dotted(device_.Active().address).c_str());
  std::fflush(stdout);
  while (!stop) {
    std::vector<pollfd> fds;
    fds.push_back({udp_, POLLIN, 0});
    fds.push_back({listener_, POLLIN, 0});
    for (auto& c : clients_) fds.push_back({c.fd, POLLIN, 0});
    if (poll(fds.data(), fds.size(), 50) <= 0) continue;
    if (fds[0].revents & POLLIN) ServeUdp();
    // Only the clients that were polled; one accepted now waits for the next turn.
    const size_t polled = clients_.size();
    if (listener_ >= 0 && (fds[1].revents & POLLIN)) AcceptClient();
    for (size_t i = 0; i < polled; ++i) {
      if (!(fds[i + 2].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      Client& c = clients_[i];
      uint8_t buf[1024];
      ssize_t n = recv(c.fd, buf, sizeof buf, 0);
      if (n <= 0) {
        close(c.fd);
        c.fd = -1;
        continue;
      }
      std::vector<uint8_t> out;
      c.session->OnBytes(buf, static_cast<size_t>(n), out);
      if (!out.empty()) {
        send(c.fd, out.data(), out.size(), MSG_NOSIGNAL);
        if (opts_.closeAfterAnswers > 0 && ++c.answers >= opts_.closeAfterAnswers) {
          close(c.fd);
          c.fd = -1;
        }
      }
    }
    std::erase_if(clients_, [](const Client& c) { return c.fd < 0; });
    FlushEvents();
    if (device_.RestartPending()) {
      CloseSockets();
      std::this_thread::sleep_for(std::chrono::milliseconds(opts_.restartMs));
      if (opts_.neverReturn) {
        while (!stop) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        break;
      }
      device_.CompleteRestart();
      ApplyAddress();
      // The new address may need a moment before it can be bound.
      for (int i = 0; i < 50 && !OpenSockets(); ++i) {
        CloseSockets();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
      FlushEvents();
    }
  }
  CloseSockets();
  return 0;
}

}  // namespace tw::sim
