// Runs a write cycle against a running tagwright-sim, taking its next value from a settings file,
// and kills itself with SIGKILL right after the k-th successful write (0: never), as a crash or a
// power loss would end it. Puts a new Hitag 1 tag into the field before every tick.
// Usage: engine_crash_helper <pty> <control-socket> <settings-file> <log-file> <writes> <kill-after>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "job/job_engine.h"
#include "job/reservation_store.h"
#include "sdk/lf_sdk.h"
#include "shell/settings_keys.h"
#include "shell/settings_store.h"
#include "tests/support/recording_view.h"

namespace {

std::string Control(const std::string& path, const std::string& line) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return "error";
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
  std::string reply;
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
    const std::string msg = line + "\n";
    if (write(fd, msg.data(), msg.size()) == static_cast<ssize_t>(msg.size())) {
      char c;
      while (read(fd, &c, 1) == 1 && c != '\n') reply += c;
    }
  }
  close(fd);
  return reply;
}

class NoTimers : public tw::ICycleTimers {
 public:
  int StartTimer(int id, int) override { return id; }
  void KillTimer(int) override {}
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 7) return 2;
  const std::string pty = argv[1], control = argv[2], settingsPath = argv[3], logPath = argv[4];
  const int writes = std::atoi(argv[5]);
  const int killAfter = std::atoi(argv[6]);

  tw::FileSettingsStore store(settingsPath);
  tw::JobParams job;
  job.transponderType = tw::kTypeHitag1;
  job.startBlock = 16;
  job.beepTime = 0;
  if (store.GetProfileString(tw::settings::kSettings, tw::settings::kWert, "").empty())
    store.WriteProfileString(tw::settings::kSettings, tw::settings::kWert, "1000");
  job.valueText = store.GetProfileString(tw::settings::kSettings, tw::settings::kWert, "");
  job.logWrites = 1;
  job.writeLogFile = logPath;

  const int h = LF_OpenPort(pty.c_str(), 19200, 0, 500);
  if (h <= 0) return 3;
  tw::RecordingView view;
  NoTimers timers;
  tw::JobEngine engine(job, view, timers);
  engine.SetPortHandle(h);
  tw::CLocalReservationStore reservations(store, settingsPath + ".progress");
  engine.SetReservationStore(&reservations, "engine_crash_helper");
  engine.OnWriteCyclic();
  if (!engine.WriteCycleRunning()) return 4;

  int written = 0;
  for (int tick = 0; tick < 200 && written < writes; ++tick) {
    // A fresh tag whose UID follows from the value it is about to get.
    char uid[16];
    std::snprintf(uid, sizeof uid, "%08X", 0xC0000000u + static_cast<unsigned>(std::atoi(job.valueText.c_str())));
    Control(control, std::string("tag add hitag1 ") + uid);
    const size_t before = view.messages.size();
    engine.OnTimer(tw::kWriteTimerId);
    bool done = false;
    for (size_t i = before; i < view.messages.size(); ++i) done |= view.messages[i].id == tw::kMsgWriteDone;
    if (!done) continue;
    ++written;
    std::printf("written %d\n", written);
    std::fflush(stdout);
    if (written == killAfter) raise(SIGKILL);
  }
  LF_ClosePort(h);
  return written == writes ? 0 : 5;
}
