// Round trip, open time and processor cost of the SDK against tagwright-sim over a pty.
#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/ui_hooks.h"
#include "sdk/lf_sdk.h"
#include "sdk/qz_rw_port.h"
#include "tests/support/sim_process.h"

using tw::CQZ_RW_Port;
using tw::test::SimProcess;
using Clock = std::chrono::steady_clock;

namespace {

double ProcessCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void Percentiles(benchmark::State& state, std::vector<double> ms) {
  if (ms.empty()) return;
  std::sort(ms.begin(), ms.end());
  state.counters["median_ms"] = ms[ms.size() / 2];
  state.counters["p99_ms"] = ms[std::min(ms.size() - 1, ms.size() * 99 / 100)];
}

void BM_VersionRoundTrip(benchmark::State& state) {
  SimProcess sim;
  CQZ_RW_Port port;
  if (!sim.Start() || !port.OpenSerialLink(sim.PtyPath(), 19200, 0)) {
    state.SkipWithError("simulator not available");
    return;
  }
  CMyByteArray answer;
  std::vector<double> ms;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    if (!port.Transact(0xF0, {}, answer)) state.SkipWithError("transaction failed");
    ms.push_back(Ms(Clock::now() - t0));
  }
  Percentiles(state, ms);
}
BENCHMARK(BM_VersionRoundTrip)->Iterations(2000)->Unit(benchmark::kMicrosecond);

void BM_IdleOpenPortCpu(benchmark::State& state) {
  SimProcess sim;
  CQZ_RW_Port port;
  if (!sim.Start() || !port.OpenSerialLink(sim.PtyPath(), 19200, 0)) {
    state.SkipWithError("simulator not available");
    return;
  }
  for (auto _ : state) {
    const double cpu0 = ProcessCpuSeconds();
    const auto t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(10));
    const double wall = Ms(Clock::now() - t0) / 1000;
    state.counters["cpu_percent"] = 100.0 * (ProcessCpuSeconds() - cpu0) / wall;
  }
}
BENCHMARK(BM_IdleOpenPortCpu)->Iterations(1)->Unit(benchmark::kSecond);

void BM_TimedOutTransactionCpu(benchmark::State& state) {
  SimProcess sim;
  CQZ_RW_Port port;
  if (!sim.Start({"--framing", "silent"}) || !port.OpenSerialLink(sim.PtyPath(), 19200, 0)) {
    state.SkipWithError("simulator not available");
    return;
  }
  CMyByteArray answer;
  for (auto _ : state) {
    const double cpu0 = ProcessCpuSeconds();
    const auto t0 = Clock::now();
    if (port.Transact(0xF0, {}, answer, 5000)) state.SkipWithError("a silent reader answered");
    const double wall = Ms(Clock::now() - t0) / 1000;
    state.counters["cpu_percent"] = 100.0 * (ProcessCpuSeconds() - cpu0) / wall;
    state.counters["wait_s"] = wall;
  }
}
BENCHMARK(BM_TimedOutTransactionCpu)->Iterations(1)->Unit(benchmark::kSecond);

// The same wait with a UI pump registered, as in the desktop application: the waiting thread then
// comes back every millisecond to keep the window alive.
void NoPump() {}
void BM_TimedOutTransactionCpuWithUiPump(benchmark::State& state) {
  tw::UiHooks hooks;
  hooks.pumpEvents = NoPump;
  tw::SetUiHooks(hooks);
  BM_TimedOutTransactionCpu(state);
  tw::SetUiHooks(tw::UiHooks{});
}
BENCHMARK(BM_TimedOutTransactionCpuWithUiPump)->Iterations(1)->Unit(benchmark::kSecond);

void BM_OpenAndIdentify(benchmark::State& state) {
  SimProcess sim;
  if (!sim.Start()) {
    state.SkipWithError("simulator not available");
    return;
  }
  std::vector<double> ms;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    const int h = LF_OpenPort(sim.PtyPath().c_str(), 19200, 0, 500);
    ms.push_back(Ms(Clock::now() - t0));
    if (h <= 0) state.SkipWithError("open failed");
    LF_ClosePort(h);
  }
  Percentiles(state, ms);
}
BENCHMARK(BM_OpenAndIdentify)->Iterations(50)->Unit(benchmark::kMillisecond);

// Giving up on a port where nothing answers: three version commands, each waiting 300 ms in the
// first phase, so the bound is about 900 ms plus three link open/close cycles.
void BM_GiveUpOnSilentPort(benchmark::State& state) {
  SimProcess sim;
  if (!sim.Start({"--framing", "silent"})) {
    state.SkipWithError("simulator not available");
    return;
  }
  std::vector<double> ms;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    if (LF_OpenPort(sim.PtyPath().c_str(), 19200, 0, 500) != -15) state.SkipWithError("not -15");
    ms.push_back(Ms(Clock::now() - t0));
  }
  Percentiles(state, ms);
  state.counters["bound_ms"] = 3 * 300.0;
}
BENCHMARK(BM_GiveUpOnSilentPort)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
