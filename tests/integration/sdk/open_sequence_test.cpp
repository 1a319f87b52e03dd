// LF_OpenPort against the simulator: framing selection, argument handling, handles.
#include <asm/termbits.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "sdk/lf_sdk.h"
#include "sdk/sdk_app.h"
#include "transport/ftd2xx_port.h"
#include "sim_helpers.h"

using tw::test::SimProcess;
using namespace sdktest;

TEST(OpenSequence, ReaderThatAnswersOnlyCrcIsFoundAfterTwoStxAttempts) {
  SimProcess sim;
  START_SIM(sim, "--framing", "crc-only");
  const int h = LF_OpenPort(sim.PtyPath().c_str(), 19200, 0, 100);
  ASSERT_GT(h, 0);
  CountCommandsSettled(sim, 0xF0, 3);
  const std::vector<std::string> rx = ReceivedFrames(sim);
  ASSERT_EQ(rx.size(), 3u);
  EXPECT_EQ(rx[0], "02 01 F0 00 F1");
  EXPECT_EQ(rx[1], "02 01 F0 00 F1");
  EXPECT_EQ(rx[2].substr(0, 8), "01 F0 00");
  // Later commands stay in the CRC-16 framing.
  unsigned char buf[16];
  EXPECT_EQ(LF_GetVersion(h, buf, sizeof buf, nullptr, 0), 4);
  EXPECT_EQ(LF_ClosePort(h), 0);
}

TEST(OpenSequence, NoCrcFlagGivesUpAfterTwoVersionCommands) {
  SimProcess sim;
  START_SIM(sim, "--framing", "silent");
  EXPECT_EQ(LF_OpenPort(sim.PtyPath().c_str(), 19200, 0x40, 50), -15);
  EXPECT_EQ(CountCommandsSettled(sim, 0xF0, 2), 2) << testing::PrintToString(sim.Trace());
  EXPECT_EQ(LF_GetLastError(-15), 6);
  sim.ClearTrace();
  EXPECT_EQ(LF_OpenPort(sim.PtyPath().c_str(), 19200, 0, 50), -15);
  EXPECT_EQ(CountCommandsSettled(sim, 0xF0, 3), 3);
  EXPECT_EQ(tw::SdkApp().PortCount(), 0u) << "failed opens leave nothing in the registry";
}

TEST(OpenSequence, BadArguments) {
  EXPECT_EQ(LF_OpenPort("/dev/does-not-exist-9", 19200, 0, 100), -1);
  EXPECT_EQ(LF_OpenPort(nullptr, 19200, 0, 100), -1);
  EXPECT_EQ(LF_OpenPort("", 19200, 0, 100), -1);
  EXPECT_EQ(LF_OpenPort(":5", 19200, 0, 100), -1);
  EXPECT_EQ(LF_OpenPort(std::string(5000, 'A').c_str(), 19200, 0, 100), -1);
  EXPECT_EQ(LF_OpenPort("/dev/does-not-exist-9", 19200, 0, -1), -5);
  EXPECT_EQ(LF_GetLastError(-1), 6);
  EXPECT_EQ(LF_GetLastError(0), 6);
}

namespace {
std::string OpenError() {
  char text[256] = "unchanged";
  EXPECT_GE(LF_GetOpenError(text, sizeof text), 0);
  return text;
}
}  // namespace

TEST(OpenSequence, FailedOpensSayWhy) {
  setenv(tw::kFtd2xxLibEnv, "/nonexistent/libftd2xx.so", 1);
  const struct {
    const char* name;
    const char* reason;
  } cases[] = {
      {"/dev/does-not-exist-9", "no such device: /dev/does-not-exist-9"},
      {"ttyUSB0", "not a device path: did you mean /dev/ttyUSB0?"},
      {"pts/7:2", "not a device path: did you mean /dev/pts/7?"},
      {"FT4711AB", "FTDI library libftd2xx.so not installed"},
      {"/etc/passwd", "not a serial device: /etc/passwd"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LF_OpenPort(c.name, 19200, 0, 50), -1) << c.name;
    EXPECT_EQ(OpenError(), c.reason) << c.name;
  }
  unsetenv(tw::kFtd2xxLibEnv);
  // The length of the whole text comes back also when the buffer cuts it.
  const int length = static_cast<int>(std::strlen("not a serial device: /etc/passwd"));
  char small[5];
  EXPECT_EQ(LF_GetOpenError(small, sizeof small), length);
  EXPECT_STREQ(small, "not ");
  EXPECT_EQ(LF_GetOpenError(nullptr, 0), length);
  EXPECT_EQ(LF_GetOpenError(nullptr, 4), -1);

  SimProcess sim;
  START_SIM(sim, "--framing", "silent");
  EXPECT_EQ(LF_OpenPort(sim.PtyPath().c_str(), 19200, 0x40, 20), -15);
  EXPECT_EQ(OpenError(), "no reader answered on " + sim.PtyPath());
  sim.Control("framing both");
  const int h = LF_OpenPort(sim.PtyPath().c_str(), 19200, 0, 100);
  ASSERT_GT(h, 0);
  EXPECT_EQ(OpenError(), "") << "a successful open leaves no reason behind";
  LF_ClosePort(h);
}

TEST(OpenSequence, OneSerialDeviceOpensOnce) {
  SimProcess sim;
  START_SIM(sim);
  const int h = LF_OpenPort(sim.PtyPath().c_str(), 19200, 0, 100);
  ASSERT_GT(h, 0);
  EXPECT_EQ(LF_OpenPort(sim.PtyPath().c_str(), 19200, 0, 100), -1);
  EXPECT_EQ(OpenError(), "in use: " + sim.PtyPath() + " is already open in this program");
  EXPECT_EQ(sim.CountCommands(0xF0), 1) << "the second open sent nothing";

  // Another process sees it busy and learns who holds it.
  const pid_t child = fork();
  if (child == 0) _exit(LF_OpenPort(sim.PtyPath().c_str(), 19200, 0, 100) == -1 ? 0 : 1);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(LF_ClosePort(h), 0);

  // And the other way round: a program holding the device keeps us out, named by its pid.
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t holder = fork();
  if (holder == 0) {
    const int fd = open(sim.PtyPath().c_str(), O_RDWR | O_NOCTTY);
    const bool locked = fd >= 0 && flock(fd, LOCK_EX) == 0;
    (void)!write(ready[1], locked ? "1" : "0", 1);
    pause();
    _exit(0);
  }
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  ASSERT_EQ(c, '1');
  EXPECT_EQ(LF_OpenPort(sim.PtyPath().c_str(), 19200, 0, 100), -1);
  EXPECT_EQ(OpenError(),
            "in use by another program (pid " + std::to_string(holder) + "): " + sim.PtyPath());
  kill(holder, SIGKILL);
  waitpid(holder, &status, 0);
  close(ready[0]);
  close(ready[1]);
  const int again = LF_OpenPort(sim.PtyPath().c_str(), 19200, 0, 100);
  EXPECT_GT(again, 0) << "free again once the holder is gone";
  LF_ClosePort(again);
}

TEST(OpenSequence, RatesWithoutAConstantReachTheLine) {
  SimProcess sim;
  START_SIM(sim);
  for (const int baud : {14400, 250000}) {
    const int h = LF_OpenPort(sim.PtyPath().c_str(), baud, 0, 100);
    ASSERT_GT(h, 0) << baud << ": " << OpenError();
    // What the line is set to, as stty would show it.
    const int fd = open(sim.PtyPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    termios2 t{};
    ASSERT_EQ(ioctl(fd, TCGETS2, &t), 0);
    EXPECT_EQ(t.c_ospeed, static_cast<unsigned>(baud));
    close(fd);
    LF_ClosePort(h);
  }
}

TEST(OpenSequence, DeviceAddressFromTheName) {
  SimProcess sim;
  START_SIM(sim, "--address", "5");
  EXPECT_EQ(LF_OpenPort(sim.PtyPath().c_str(), 19200, 0x40, 50), -15);
  const int h = LF_OpenPort((sim.PtyPath() + ":5").c_str(), 19200, 0x40, 100);
  ASSERT_GT(h, 0);
  EXPECT_EQ(ReceivedFrames(sim).back(), "02 05 F0 00 F5");
  LF_ClosePort(h);
}

TEST(OpenSequence, ShortAndTextVersionAnswers) {
  SimProcess shortSim, textSim;
  START_SIM(shortSim, "--version-short", "24");
  START_SIM(textSim, "--version-text", "QZ READER 1");
  const int a = LF_OpenPort(shortSim.PtyPath().c_str(), 19200, 0, 100);
  const int b = LF_OpenPort(textSim.PtyPath().c_str(), 19200, 0, 100);
  ASSERT_GT(a, 0);
  ASSERT_GT(b, 0);
  EXPECT_EQ(LF_CanWrite(a), 1);  // type 0 counts as a programmer that writes
  EXPECT_EQ(LF_CanWrite(b), 1);
  char name[64] = "unchanged";
  unsigned char buf[64];
  EXPECT_EQ(LF_GetVersion(a, buf, sizeof buf, name, sizeof name), 2);
  EXPECT_STREQ(name, "---");
  EXPECT_EQ(LF_GetVersion(b, buf, sizeof buf, name, sizeof name), 11);
  EXPECT_STREQ(name, "QZ-#QZ ");
  LF_ClosePort(a);
  LF_ClosePort(b);
}

TEST(Handles, SmallestFreeNumberIsReused) {
  SimProcess s1, s2, s3;
  START_SIM(s1);
  START_SIM(s2);
  START_SIM(s3);
  const int a = LF_OpenPort(s1.PtyPath().c_str(), 19200, 0, 100);
  const int b = LF_OpenPort(s2.PtyPath().c_str(), 19200, 0, 100);
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 2);
  EXPECT_EQ(LF_ClosePort(a), 0);
  EXPECT_EQ(LF_ClosePort(a), -1) << "closing twice";
  const int c = LF_OpenPort(s3.PtyPath().c_str(), 19200, 0, 100);
  EXPECT_EQ(c, 1);
  EXPECT_EQ(LF_ClosePort(b), 0);
  EXPECT_EQ(LF_ClosePort(c), 0);
  EXPECT_EQ(LF_GetLastError(c), 6);
  EXPECT_EQ(LF_ClosePort(12345), -1);
}

TEST(Handles, PortWhoseDeviceVanishedKeepsItsNumberUntilClosed) {
  SimProcess s1, s2, s3;
  START_SIM(s1);
  START_SIM(s2);
  START_SIM(s3);
  const int a = LF_OpenPort(s1.PtyPath().c_str(), 19200, 0, 100);
  const int b = LF_OpenPort(s2.PtyPath().c_str(), 19200, 0, 100);
  ASSERT_GT(a, 0);
  ASSERT_GT(b, 0);
  EXPECT_EQ(s1.Control("hangup").rfind("ok", 0), 0u);
  tw::CQZ_RW_Port* lost = tw::SdkApp().FindPort(a);
  ASSERT_NE(lost, nullptr);
  for (int i = 0; i < 500 && !lost->DeviceVanished(); ++i) tw::SleepMs(2);
  LF_GetLastError(b);  // a lookup of another handle must not sweep the lost port away
  EXPECT_EQ(tw::SdkApp().PortCount(), 2u);
  unsigned char buf[16];
  EXPECT_EQ(LF_GetVersion(a, buf, sizeof buf, nullptr, 0), -1);
  EXPECT_EQ(LF_GetLastError(a), 7);
  EXPECT_EQ(LF_CanWrite(a), 1) << "what was identified stays known";
  // While the caller still holds a, its number names nothing else.
  const int c = LF_OpenPort(s3.PtyPath().c_str(), 19200, 0, 100);
  ASSERT_GT(c, 0);
  EXPECT_NE(c, a);
  EXPECT_EQ(LF_ClosePort(a), 0);
  EXPECT_EQ(LF_GetLastError(a), 6);
  EXPECT_EQ(LF_GetVersion(c, buf, sizeof buf, nullptr, 0), 4);
  EXPECT_EQ(LF_ClosePort(b), 0);
  EXPECT_EQ(LF_ClosePort(c), 0);
}
