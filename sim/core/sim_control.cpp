// Control channel of the simulator.
#include "sim/core/sim_control.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "sim/core/sim_reader.h"

namespace tw::sim {

const char* ControlHelp() {
  return "Control commands (one per line; each gets one reply line \"ok ...\" or \"error ...\"):\n"
         "  ping                      answers \"ok pong\"\n"
         "  state                     framing, address, version, capability, modulation, faults\n"
         "  delay MS                  wait MS milliseconds before every answer (0 = none)\n"
         "  silence on|off|N          answer nothing (always, never, for the next N frames)\n"
         "  bad-check on|off|N        send answers with a wrong BCC/CRC\n"
         "  drop-write on|off|N       carry out block writes but send no answer to them\n"
         "  garbage HEX|off           send these bytes before every answer frame\n"
         "  extra HEX|off             send these bytes after every answer frame\n"
         "  reset-faults              delay 0, silence, bad-check, drop-write, garbage, extra off\n"
         "  timing on|off             hold answers back by wire and air time (see --timing)\n"
         "  hangup                    close the pseudo-terminal as a vanished device would\n"
         "  framing both|crc-only|stx-only|silent\n"
         "  address N                 device address the reader answers to (0-255)\n"
         "  version XXXX              version answer of 4 characters (type code and revision)\n"
         "  version-text TEXT         version answer as text (5-255 characters)\n"
         "  version-short XX          version answer of 0-3 characters\n"
         "  reader-id N               identity number answered to command F8h\n"
         "  quit                      end the simulator\n"
         "Any other line goes to the transponder models in the field (\"tag help\" lists their\n"
         "commands: tags entering and leaving the field, a feeder of new tags, memory dumps).\n";
}

void SimControl::AddTransport(ISimTransport* transport) {
  std::lock_guard<std::mutex> lock(mu_);
  transports_.push_back(transport);
}

std::string SimControl::Execute(const std::string& raw) {
  std::string line = raw;
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' ')) line.pop_back();
  size_t start = line.find_first_not_of(' ');
  line = start == std::string::npos ? std::string() : line.substr(start);
  if (line.empty()) return "error empty command";
  if (line == "ping") return "ok pong";
  if (line == "help") return "ok see --help for the command list";
  if (line == "quit") {
    quit_ = true;
    return "ok quit";
  }
  if (line == "hangup") {
    std::vector<ISimTransport*> list;
    {
      std::lock_guard<std::mutex> lock(mu_);
      list = transports_;
    }
    std::string all;
    bool any = false;
    for (ISimTransport* t : list) {
      std::string detail;
      if (t->Hangup(detail)) {
        any = true;
        all += (all.empty() ? "" : "; ") + detail;
      }
    }
    return any ? "ok hangup " + all : "error nothing to hang up";
  }
  std::string reply;
  if (reader_.Control(line, reply)) return reply;
  return "error unknown command: " + line.substr(0, line.find(' '));
}

SimControlSocket::~SimControlSocket() { Stop(); }

bool SimControlSocket::Start(const std::string& path, std::string& error) {
  sockaddr_un addr{};
  if (path.size() >= sizeof addr.sun_path) {
    error = "control socket path too long: " + path;
    return false;
  }
  addr.sun_family = AF_UNIX;
  memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  listen_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listen_ < 0) {
    error = std::string("socket: ") + strerror(errno);
    return false;
  }
  unlink(path.c_str());  // a stale socket file from an earlier run
  if (bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(listen_, 8) != 0) {
    error = "cannot listen on " + path + ": " + strerror(errno);
    close(listen_);
    listen_ = -1;
    return false;
  }
  path_ = path;
  if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
    error = std::string("pipe: ") + strerror(errno);
    Stop();
    return false;
  }
  thread_ = std::thread([this] { Run(); });
  return true;
}

void SimControlSocket::Stop() {
  if (thread_.joinable()) {
    stop_ = true;
    const char b = 's';
    (void)!write(wake_[1], &b, 1);
    thread_.join();
  }
  if (listen_ >= 0) {
    close(listen_);
    listen_ = -1;
    unlink(path_.c_str());
  }
  for (int& fd : wake_) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
}

static void WriteAll(int fd, const std::string& s) {
  size_t done = 0;
  while (done < s.size()) {
    const ssize_t n = send(fd, s.data() + done, s.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

void SimControlSocket::Run() {
  struct Client {
    int fd;
    std::string pending;
  };
  std::vector<Client> clients;
  constexpr size_t kMaxLine = 4096;
  while (!stop_) {
    std::vector<pollfd> fds = {{wake_[0], POLLIN, 0}, {listen_, POLLIN, 0}};
    for (const Client& c : clients) fds.push_back({c.fd, POLLIN, 0});
    if (poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[0].revents) break;
    if (fds[1].revents & POLLIN) {
      const int fd = accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd >= 0) clients.push_back({fd, {}});
    }
    for (size_t i = 0; i + 2 < fds.size(); ++i) {
      if (!fds[i + 2].revents) continue;
      Client& c = clients[i];
      char buf[1024];
      const ssize_t n = recv(c.fd, buf, sizeof buf, 0);
      if (n <= 0) {
        close(c.fd);
        c.fd = -1;
        continue;
      }
      c.pending.append(buf, static_cast<size_t>(n));
      size_t eol;
      while ((eol = c.pending.find('\n')) != std::string::npos) {
        const std::string line = c.pending.substr(0, eol);
        c.pending.erase(0, eol + 1);
        WriteAll(c.fd, control_.Execute(line) + "\n");
      }
      if (c.pending.size() > kMaxLine) {
        c.pending.clear();
        WriteAll(c.fd, "error line too long\n");
      }
    }
    std::erase_if(clients, [](const Client& c) { return c.fd < 0; });
  }
  for (const Client& c : clients) close(c.fd);
}

}  // namespace tw::sim
