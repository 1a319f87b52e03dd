// Durability per tag: what a write step syncs to keep its value reserved and its record, once with
// the reservation journal (reserve, protocol line, completion) and once the way a rewrite of the
// settings file per tag keeps the next value. fsync and fdatasync are counted and timed here by
// standing in for the C library's functions. Files go to $TW_BENCH_DIR or the working folder.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "job/reservation_store.h"
#include "shell/protocol_file.h"
#include "shell/settings_keys.h"
#include "shell/settings_store.h"

namespace {

long gSyncs = 0;
double gSyncSeconds = 0;

template <typename Fn>
int Timed(Fn real, int fd) {
  const auto t0 = std::chrono::steady_clock::now();
  const int r = real(fd);
  gSyncSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  ++gSyncs;
  return r;
}

}  // namespace

extern "C" int fsync(int fd) {
  static auto real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fsync"));
  return Timed(real, fd);
}

extern "C" int fdatasync(int fd) {
  static auto real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fdatasync"));
  return Timed(real, fd);
}

namespace {

struct Folder {
  std::string path;
  Folder() {
    const char* base = std::getenv("TW_BENCH_DIR");
    std::string tmpl = std::string(base != nullptr && base[0] ? base : ".") + "/tw-durability-XXXXXX";
    path = ::mkdtemp(tmpl.data()) ? tmpl : ".";
  }
  ~Folder() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
};

tw::ProtocolLineInput Line(const std::string& value) {
  tw::ProtocolLineInput in;
  in.uid = {0xD4, 0xC3, 0xB2, 0xA1};
  in.valueText = value;
  return in;
}

void Report(benchmark::State& state, long syncs, double seconds) {
  const double tags = static_cast<double>(state.iterations());
  state.counters["syncs_per_tag"] = static_cast<double>(syncs) / tags;
  state.counters["sync_ms_per_tag"] = seconds * 1000.0 / tags;
}

// Reserve before the tag write, protocol line after it, completion that the line makes durable.
void BM_TagWithReservationJournal(benchmark::State& state) {
  Folder dir;
  tw::FileSettingsStore settings(dir.path + "/Tagwright.conf");
  tw::CLocalReservationStore store(settings, dir.path + "/Tagwright.progress");
  std::string m;
  if (store.Open("bench", m) != tw::StoreResult::Ok) state.SkipWithError(m.c_str());
  long value = 1000;
  tw::JobProgress p{std::to_string(value), 0, "", 0};
  store.SetProgress(p);
  const std::string log = dir.path + "/Protokoll_S.txt";
  tw::WriteProtocolLine(log, Line("0"));  // the file exists, as in a running cycle
  const long syncs0 = gSyncs;
  const double seconds0 = gSyncSeconds;
  for (auto _ : state) {
    const tw::JobProgress next{std::to_string(++value), 0, "", 0};
    tw::Reservation r;
    if (store.Reserve(p, next, "A1B2C3D4", r) != tw::StoreResult::Ok) state.SkipWithError("reserve");
    if (!tw::WriteProtocolLine(log, Line(p.value))) state.SkipWithError("protocol");
    if (!store.Complete(r, true)) state.SkipWithError("complete");
    p = next;
  }
  Report(state, gSyncs - syncs0, gSyncSeconds - seconds0);
  store.Close();
}
BENCHMARK(BM_TagWithReservationJournal)->Unit(benchmark::kMillisecond);

// The next value kept by rewriting the settings file after each tag, with the protocol line.
void BM_TagWithSettingsRewrite(benchmark::State& state) {
  Folder dir;
  tw::FileSettingsStore settings(dir.path + "/Tagwright.conf");
  const std::string log = dir.path + "/Protokoll_S.txt";
  tw::WriteProtocolLine(log, Line("0"));
  long value = 1000;
  const long syncs0 = gSyncs;
  const double seconds0 = gSyncSeconds;
  for (auto _ : state) {
    if (!tw::WriteProtocolLine(log, Line(std::to_string(value)))) state.SkipWithError("protocol");
    const std::string next = std::to_string(++value);
    settings.Transaction([&](tw::ISettingsView& v) {
      v.WriteProfileString(tw::settings::kSettings, tw::settings::kWert, next);
    });
  }
  Report(state, gSyncs - syncs0, gSyncSeconds - seconds0);
}
BENCHMARK(BM_TagWithSettingsRewrite)->Unit(benchmark::kMillisecond);

}  // namespace
