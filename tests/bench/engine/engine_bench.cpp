// A write cycle with cycleTime 100 ms against tagwright-sim, the simulator presenting a new tag as
// soon as the last one is written: tags per minute, and reader transactions per written tag (from
// the simulator's trace), for each transponder type with its default job.
// And the write step's own speed against a simulator that answers as slowly as a real reader at
// 19200 baud (--timing): 100 fresh tags per type, one tick each, without waiting for the cycle
// period; tags per second and reader commands per tag.
#include <benchmark/benchmark.h>

#include <map>
#include <string>

#include "job/job_engine.h"
#include "platform/tick.h"
#include "sdk/lf_sdk.h"
#include "tests/support/recording_view.h"
#include "tests/support/sim_process.h"

namespace {

class ManualTimers : public tw::ICycleTimers {
 public:
  int StartTimer(int id, int) override { return id; }
  void KillTimer(int) override {}
};

int ReceivedFrames(const tw::test::SimProcess& sim) {
  int n = 0;
  for (const auto& line : sim.Trace()) n += line.rfind("RX ", 0) == 0;
  return n;
}

// Each benchmark runs once for every transponder type the job offers.
void EveryType(benchmark::internal::Benchmark* b) {
  b->ArgName("type");
  for (int type : {tw::kTypeHitag1, tw::kTypeHitag2, tw::kTypeHitagS, tw::kTypeHitagMu, tw::kTypeAta5555,
                   tw::kTypeAta5577, tw::kTypeEm4305, tw::kTypeEm4450, tw::kTypeSic7888})
    b->Arg(type);
}

void BM_WriteCycle100ms(benchmark::State& state) {
  const int type = static_cast<int>(state.range(0));
  tw::test::SimProcess sim;
  if (!sim.Start()) {
    state.SkipWithError("tagwright-sim did not start");
    return;
  }
  const int h = LF_OpenPort(sim.PtyPath().c_str(), 19200, 0, 500);
  if (h <= 0) {
    state.SkipWithError("open failed");
    return;
  }
  tw::JobParams job;
  job.transponderType = type;
  job.startBlock = tw::FirstBlock(type);
  job.valueText = "1000";
  job.beepTime = 0;
  job.cycleTime = 100;
  tw::RecordingView view;
  ManualTimers timers;
  tw::JobEngine engine(job, view, timers);
  engine.SetPortHandle(h);
  // The feeder type is set and a first tag presented; later tags come with "feed next".
  const std::string fed = sim.Control("feed " + std::to_string(type) + " 86400000");
  if (fed.rfind("ok", 0) != 0) {
    state.SkipWithError(("feed: " + fed).c_str());
    return;
  }
  engine.OnWriteCyclic();
  sim.ClearTrace();

  int written = 0;
  const uint32_t start = tw::TickCount();
  uint32_t next = start;
  for (auto _ : state) {
    // The window timer's tick.
    next += static_cast<uint32_t>(job.cycleTime);
    const uint32_t now = tw::TickCount();
    if (static_cast<int32_t>(next - now) > 0) tw::SleepMs(next - now);
    const size_t before = view.messages.size();
    engine.OnTimer(tw::kWriteTimerId);
    for (size_t i = before; i < view.messages.size(); ++i)
      if (view.messages[i].id == tw::kMsgWriteDone) {
        ++written;
        sim.Control("feed next");
      }
  }
  const double seconds = tw::TicksSince(start) / 1000.0;
  state.counters["tags_per_min"] = seconds > 0 ? written * 60.0 / seconds : 0;
  state.counters["transactions_per_tag"] =
      written > 0 ? static_cast<double>(ReceivedFrames(sim)) / written : 0;
  state.counters["failed_ticks"] = static_cast<double>(state.iterations()) - written;
  LF_ClosePort(h);
}

BENCHMARK(BM_WriteCycle100ms)
    ->Apply(EveryType)
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_TimedWriteStep(benchmark::State& state) {
  const int type = static_cast<int>(state.range(0));
  tw::test::SimProcess sim;
  if (!sim.Start({"--timing"})) {
    state.SkipWithError("tagwright-sim did not start");
    return;
  }
  const int h = LF_OpenPort(sim.PtyPath().c_str(), 19200, 0, 500);
  if (h <= 0) {
    state.SkipWithError("open failed");
    return;
  }
  tw::JobParams job;
  job.transponderType = type;
  job.startBlock = tw::FirstBlock(type);
  job.valueText = "1000";
  job.beepTime = 0;
  tw::RecordingView view;
  ManualTimers timers;
  tw::JobEngine engine(job, view, timers);
  engine.SetPortHandle(h);
  engine.OnWriteCyclic();
  sim.ClearTrace();

  int written = 0;
  uint32_t busyMs = 0;
  for (auto _ : state) {
    state.PauseTiming();
    sim.Control(written == 0 ? "feed " + std::to_string(type) + " 86400000" : "feed next");
    const size_t before = view.messages.size();
    state.ResumeTiming();
    const uint32_t start = tw::TickCount();
    engine.OnTimer(tw::kWriteTimerId);
    busyMs += tw::TicksSince(start);
    for (size_t i = before; i < view.messages.size(); ++i) written += view.messages[i].id == tw::kMsgWriteDone;
  }
  if (written != static_cast<int>(state.iterations())) state.SkipWithError("a tag was not written");
  state.counters["tags_per_s"] = busyMs > 0 ? written * 1000.0 / busyMs : 0;
  state.counters["commands_per_tag"] =
      written > 0 ? static_cast<double>(ReceivedFrames(sim)) / written : 0;
  LF_ClosePort(h);
}

BENCHMARK(BM_TimedWriteStep)
    ->Apply(EveryType)
    ->Iterations(100)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
