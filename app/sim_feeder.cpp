#include "app/sim_feeder.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <cstring>

#include "job/job_params.h"

namespace tw {

std::string SimTagKind(int typeCode) {
  switch (typeCode) {
    case kTypeHitag1: return "hitag1";
    case kTypeHitag2: return "hitag2";
    case kTypeHitagS: return "hitags";
    case kTypeHitagMu: return "hitagmu";
    case kTypeAta5555: return "ata5555";
    case kTypeAta5577: return "ata5577";
    case kTypeEm4305: return "em4305";
    case kTypeEm4450: return "em4450";
    case kTypeSic7888: return "sic7888";
    default: return "";
  }
}

std::string SimTagUid(int typeCode, unsigned n) {
  // UID lengths of the models: 4 bytes, 6 for Hitag µ, 5 for Q5 and 8 for ATA5577.
  char buf[40];
  switch (typeCode) {
    case kTypeHitagMu: std::snprintf(buf, sizeof buf, "E0%02X%08X", 0x16, 0x10000000u + n); break;
    case kTypeAta5555: std::snprintf(buf, sizeof buf, "51%08X", 0x20000000u + n); break;
    case kTypeAta5577: std::snprintf(buf, sizeof buf, "010215E0%08X", 0xA9000000u + n); break;
    default: std::snprintf(buf, sizeof buf, "%08X", 0x4A000000u + n); break;
  }
  return buf;
}

SimFeeder::SimFeeder(QObject* parent) : QObject(parent) {}

SimFeeder::~SimFeeder() {
  StopFeeding();
  if (proc_) {
    proc_->terminate();
    if (!proc_->waitForFinished(2000)) proc_->kill();
    proc_->waitForFinished(1000);
  }
  if (!dir_.isEmpty()) QDir(dir_).removeRecursively();
}

bool SimFeeder::Start(const QString& programDir) {
  QTemporaryDir tmp(QDir::tempPath() + "/tagwright-sim-XXXXXX");
  tmp.setAutoRemove(false);
  if (!tmp.isValid()) return false;
  dir_ = tmp.path();
  controlPath_ = (dir_ + "/control").toStdString();
  proc_ = new QProcess(this);
  proc_->setProcessChannelMode(QProcess::SeparateChannels);
  // The simulator ends with this program however this program ends (a signal or a crash included),
  // not only when the destructor gets to run.
  const pid_t parent = getpid();
  proc_->setChildProcessModifier([parent]() {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(1);  // the program ended before the request took hold
  });
  proc_->start(programDir + "/tagwright-sim", {"--control", QString::fromStdString(controlPath_)});
  if (!proc_->waitForStarted(5000)) return false;
  QElapsedTimer t;
  t.start();
  // The first line of the simulator's output names its device.
  while (t.elapsed() < 5000 && !proc_->canReadLine()) proc_->waitForReadyRead(200);
  if (!proc_->canReadLine()) return false;
  ptyPath_ = proc_->readLine().trimmed().toStdString();
  while (t.elapsed() < 5000 && access(controlPath_.c_str(), F_OK) != 0) QThread::msleep(20);
  return !ptyPath_.empty() && Control("ping").rfind("ok", 0) == 0;
}

std::string SimFeeder::Control(const std::string& line) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return "error socket";
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", controlPath_.c_str());
  std::string reply = "error no reply";
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
    const std::string msg = line + "\n";
    if (send(fd, msg.data(), msg.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(msg.size())) {
      std::string got;
      timeval tv{5, 0};
      setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
      char ch;
      while (recv(fd, &ch, 1, 0) == 1 && ch != '\n') got += ch;
      if (!got.empty()) reply = got;
    }
  }
  close(fd);
  return reply;
}

bool SimFeeder::PlaceNewTag(int typeCode) {
  const std::string kind = SimTagKind(typeCode);
  if (kind.empty()) return false;
  RemoveTag();
  return Control("tag add " + kind + " " + SimTagUid(typeCode, ++serial_)).rfind("ok", 0) == 0;
}

void SimFeeder::RemoveTag() { Control("tag remove"); }

void SimFeeder::StartFeeding(std::function<int()> typeCode, int periodMs) {
  if (!timer_) timer_ = new QTimer(this);
  timer_->disconnect();
  connect(timer_, &QTimer::timeout, this, [this, typeCode] { PlaceNewTag(typeCode()); });
  PlaceNewTag(typeCode());
  timer_->start(periodMs);
}

void SimFeeder::StopFeeding() {
  if (timer_) timer_->stop();
}

}  // namespace tw
