// The stand-in D2XX library, loaded the way the SDK loads the vendor's: by path with dlopen, its
// entry points looked up by name, its devices reaching a running simulator.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "platform/tick.h"
#include "sim/standin/d2xx_abi.h"
#include "tests/support/sim_process.h"

namespace tw::test {
namespace {

using Bytes = std::vector<uint8_t>;

const char* const kEntryPoints[] = {"FT_ListDevices",
                                    "FT_CreateDeviceInfoList",
                                    "FT_GetDeviceInfoList",
                                    "FT_GetDeviceInfoDetail",
                                    "FT_ResetDevice",
                                    "FT_SetBaudRate",
                                    "FT_SetLatencyTimer",
                                    "FT_SetUSBParameters",
                                    "FT_W32_CreateFile",
                                    "FT_W32_CloseHandle",
                                    "FT_W32_ReadFile",
                                    "FT_W32_WriteFile",
                                    "FT_W32_GetLastError",
                                    "FT_W32_GetOverlappedResult",
                                    "FT_W32_ClearCommBreak",
                                    "FT_W32_ClearCommError",
                                    "FT_W32_EscapeCommFunction",
                                    "FT_W32_GetCommModemStatus",
                                    "FT_W32_GetCommState",
                                    "FT_W32_GetCommTimeouts",
                                    "FT_W32_PurgeComm",
                                    "FT_W32_SetCommBreak",
                                    "FT_W32_SetCommMask",
                                    "FT_W32_SetCommState",
                                    "FT_W32_SetCommTimeouts",
                                    "FT_W32_SetupComm",
                                    "FT_W32_WaitCommEvent"};

struct Lib {
  explicit Lib(const std::string& dir) {
    handle = dlopen((std::string(TW_LIB_DIR) + "/" + dir + "/libftd2xx.so").c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  ~Lib() {
    if (handle) dlclose(handle);
  }
  template <typename Fn>
  Fn Get(const char* name) {
    return reinterpret_cast<Fn>(dlsym(handle, name));
  }
  void* handle;
};

bool Invalid(FT_HANDLE h) { return reinterpret_cast<uintptr_t>(h) == 0xFFFFFFFFu; }

class D2xxStandin : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(lib.handle, nullptr) << dlerror();
    create = lib.Get<decltype(create)>("FT_W32_CreateFile");
    closeH = lib.Get<decltype(closeH)>("FT_W32_CloseHandle");
    readF = lib.Get<decltype(readF)>("FT_W32_ReadFile");
    writeF = lib.Get<decltype(writeF)>("FT_W32_WriteFile");
    clearErr = lib.Get<decltype(clearErr)>("FT_W32_ClearCommError");
    lastErr = lib.Get<decltype(lastErr)>("FT_W32_GetLastError");
    setTimeouts = lib.Get<decltype(setTimeouts)>("FT_W32_SetCommTimeouts");
    count = lib.Get<decltype(count)>("FT_CreateDeviceInfoList");
    list = lib.Get<decltype(list)>("FT_GetDeviceInfoList");
    ASSERT_TRUE(create && closeH && readF && writeF && clearErr && lastErr && setTimeouts && count && list);
    ASSERT_TRUE(sim.Start());
    setenv("TAGWRIGHT_SIM_D2XX", ("SIM0001=" + sim.PtyPath() + ";SIM0002=/nonexistent/pty").c_str(), 1);
  }
  void TearDown() override { unsetenv("TAGWRIGHT_SIM_D2XX"); }

  FT_HANDLE Open(const char* serial) {
    return create(serial, 0xC0000000u, 0, nullptr, 3, FT_OPEN_BY_SERIAL_NUMBER, nullptr);
  }
  // Waits until at least n bytes are queued; returns the count the library reports.
  DWORD WaitQueued(FT_HANDLE h, DWORD n) {
    FTCOMSTAT stat{};
    DWORD errors = 0;
    const uint32_t start = TickCount();
    while (TicksSince(start) < 3000) {
      if (!clearErr(h, &errors, &stat)) return 0;
      if (stat.cbInQue >= n) break;
      SleepMs(2);
    }
    return stat.cbInQue;
  }

  Lib lib{"standin"};
  SimProcess sim;
  FT_HANDLE (*create)(const char*, DWORD, DWORD, void*, DWORD, DWORD, void*) = nullptr;
  BOOL (*closeH)(FT_HANDLE) = nullptr;
  BOOL (*readF)(FT_HANDLE, void*, DWORD, DWORD*, void*) = nullptr;
  BOOL (*writeF)(FT_HANDLE, void*, DWORD, DWORD*, void*) = nullptr;
  BOOL (*clearErr)(FT_HANDLE, DWORD*, FTCOMSTAT*) = nullptr;
  DWORD (*lastErr)(FT_HANDLE) = nullptr;
  BOOL (*setTimeouts)(FT_HANDLE, FTTIMEOUTS*) = nullptr;
  FT_STATUS (*count)(DWORD*) = nullptr;
  FT_STATUS (*list)(FT_DEVICE_LIST_INFO_NODE*, DWORD*) = nullptr;
};

TEST_F(D2xxStandin, ListsConfiguredDevicesAndMarksOpenOnes) {
  DWORD n = 0;
  ASSERT_EQ(count(&n), FT_OK);
  ASSERT_EQ(n, 2u);
  FT_DEVICE_LIST_INFO_NODE nodes[3] = {};
  nodes[2].Flags = 0xDEAD;  // beyond what was asked for: must stay untouched
  DWORD asked = 2;
  ASSERT_EQ(list(nodes, &asked), FT_OK);
  EXPECT_EQ(asked, 2u);
  EXPECT_STREQ(nodes[0].SerialNumber, "SIM0001");
  EXPECT_STREQ(nodes[1].SerialNumber, "SIM0002");
  EXPECT_EQ(nodes[0].ftHandle, nullptr);
  EXPECT_EQ(nodes[2].Flags, 0xDEADu);

  FT_HANDLE h = Open("SIM0001");
  ASSERT_FALSE(Invalid(h));
  ASSERT_EQ(list(nodes, &asked), FT_OK);
  EXPECT_EQ(nodes[0].ftHandle, h);
  EXPECT_EQ(nodes[0].Flags & 1u, 1u);
  EXPECT_TRUE(Invalid(Open("SIM0001")));  // already open
  EXPECT_TRUE(Invalid(Open("SIM0002")));  // its device does not exist
  EXPECT_TRUE(Invalid(Open("NOSUCH")));
  EXPECT_EQ(closeH(h), 1u);
  EXPECT_EQ(closeH(h), 0u);  // a stale handle is refused, never dereferenced
}

TEST_F(D2xxStandin, TransactsWithTheSimulatorByteByByte) {
  FT_HANDLE h = Open("SIM0001");
  ASSERT_FALSE(Invalid(h));
  FTTIMEOUTS t{0xFFFFFFFFu, 0, 0, 0, 0};
  ASSERT_EQ(setTimeouts(h, &t), 1u);
  auto latency = lib.Get<FT_STATUS (*)(FT_HANDLE, UCHAR)>("FT_SetLatencyTimer");
  ASSERT_NE(latency, nullptr);
  EXPECT_EQ(latency(h, 2), FT_OK);

  uint8_t b = 0;
  DWORD got = 99;
  EXPECT_EQ(readF(h, &b, 1, &got, nullptr), 1u);  // nothing queued: returns at once
  EXPECT_EQ(got, 0u);

  Bytes frame = {0x02, 0x01, 0xF0, 0x00, 0xF1};
  DWORD written = 0;
  ASSERT_EQ(writeF(h, frame.data(), 5, &written, nullptr), 1u);
  EXPECT_EQ(written, 5u);
  EXPECT_EQ(WaitQueued(h, 9), 9u);
  Bytes answer;
  for (int i = 0; i < 9; ++i) {
    ASSERT_EQ(readF(h, &b, 1, &got, nullptr), 1u);
    ASSERT_EQ(got, 1u);
    answer.push_back(b);
  }
  EXPECT_EQ(answer, (Bytes{0x02, 0x01, 0x00, 0x04, '2', '4', '3', 'A', 0x71}));
  EXPECT_EQ(sim.CountCommands(0xF0), 1);
  EXPECT_EQ(closeH(h), 1u);
}

TEST_F(D2xxStandin, VanishedDeviceFailsThePoll) {
  FT_HANDLE h = Open("SIM0001");
  ASSERT_FALSE(Invalid(h));
  ASSERT_EQ(sim.Control("hangup").rfind("ok", 0), 0u);
  FTCOMSTAT stat{};
  DWORD errors = 0;
  BOOL ok = 1;
  const uint32_t start = TickCount();
  while (ok && TicksSince(start) < 3000) {
    ok = clearErr(h, &errors, &stat);
    if (ok) SleepMs(5);
  }
  EXPECT_EQ(ok, 0u);
  EXPECT_NE(lastErr(h), 0u);
  uint8_t b;
  DWORD got = 0;
  EXPECT_EQ(readF(h, &b, 1, &got, nullptr), 0u);
  EXPECT_EQ(closeH(h), 1u);
}

TEST(D2xxStandinBuilds, FullAndWithoutLatencyTimer) {
  Lib full("standin");
  ASSERT_NE(full.handle, nullptr) << dlerror();
  for (const char* name : kEntryPoints) EXPECT_NE(dlsym(full.handle, name), nullptr) << name;
  Lib lean("standin-nolatency");
  ASSERT_NE(lean.handle, nullptr) << dlerror();
  EXPECT_EQ(dlsym(lean.handle, "FT_SetLatencyTimer"), nullptr);
  EXPECT_NE(dlsym(lean.handle, "FT_W32_CreateFile"), nullptr);
  // Without any configured device the list is empty, not an error.
  unsetenv("TAGWRIGHT_SIM_D2XX");
  auto count = full.Get<FT_STATUS (*)(DWORD*)>("FT_CreateDeviceInfoList");
  DWORD n = 7;
  EXPECT_EQ(count(&n), FT_OK);
  EXPECT_EQ(n, 0u);
}

}  // namespace
}  // namespace tw::test
