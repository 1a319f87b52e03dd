// Reservation + completion per tag against a private PostgreSQL server with durable commits (fsync
// on), for a counted job and an import job; and the same from eight stations (threads, each with
// its own connection) at once, as tags per second. No server here: the program says so and passes.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "store/pg_job_store.h"
#include "store/pg_schema.h"
#include "tests/support/pg_server.h"

using namespace tw;
using namespace tw::store;

namespace {

std::string g_conninfo;

// One connection per benchmark thread, made on first use.
CPgJobStore& StationStore(int index) {
  static std::mutex mu;
  static std::vector<std::unique_ptr<CPgJobStore>> stores(64);
  std::lock_guard<std::mutex> lock(mu);
  auto& s = stores[static_cast<size_t>(index)];
  if (!s) {
    s = std::make_unique<CPgJobStore>();
    std::string error;
    if (!s->Connect(g_conninfo, error)) std::fprintf(stderr, "connect: %s\n", error.c_str());
  }
  return *s;
}

void RoundTrip(benchmark::State& state, const char* jobName) {
  CPgJobStore& st = StationStore(state.thread_index());
  SharedJob job;
  std::string error;
  if (!st.LoadJob(jobName, job, error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  const std::string station = "S" + std::to_string(state.thread_index());
  static std::atomic<long long> tags{0};
  for (auto _ : state) {
    // A new tag each time: the counted job refuses a tag twice.
    char uid[24];
    std::snprintf(uid, sizeof uid, "E0%014llX", ++tags);
    SharedRecord r;
    // The station's protocol line holds the record: the completion need not wait for the disk.
    const ReserveResult rr = st.Reserve(job, uid, station, "bench", r, error);
    if (rr != ReserveResult::Ok || !st.Complete(r.id, uid, kWritten, false, error)) {
      if (error.empty()) error = "no value (" + std::to_string(static_cast<int>(rr)) + ")";
      state.SkipWithError(error.c_str());
      break;
    }
  }
  state.counters["tags/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_CountedRoundTrip(benchmark::State& state) { RoundTrip(state, "counted"); }
void BM_ImportRoundTrip(benchmark::State& state) { RoundTrip(state, "import"); }

BENCHMARK(BM_CountedRoundTrip)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_ImportRoundTrip)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_CountedRoundTrip)->Unit(benchmark::kMicrosecond)->UseRealTime()->Threads(8);
BENCHMARK(BM_ImportRoundTrip)->Unit(benchmark::kMicrosecond)->UseRealTime()->Threads(8);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (const std::string why = test::PgServer::Unavailable(); !why.empty()) {
    std::printf("bench_store skipped: %s\n", why.c_str());
    return 0;
  }
  test::PgServer server;
  std::string error;
  int from = 0;
  CPgConnection db;
  if (!server.Start(error, /*durable=*/true) || !server.CreateDatabase("bench", g_conninfo, error) ||
      !db.Open(g_conninfo, error) || !MigrateSchema(db, from, error)) {
    std::fprintf(stderr, "bench_store: %s\n", error.c_str());
    return 1;
  }
  CPgJobStore setup;
  JobParams counted;
  counted.valueText = "1";
  counted.byteCount = 8;
  JobParams import = counted;
  import.importData = 1;
  import.autoIncrement = 0;
  import.importFile = "/bench/lines.txt";
  std::vector<std::string> lines;
  for (int i = 0; i < 400000; ++i) lines.push_back(std::to_string(5000000 + i));
  if (!setup.Connect(g_conninfo, error) || !setup.PutJob("counted", counted, true, {}, error) ||
      !setup.PutJob("import", import, false, lines, error)) {
    std::fprintf(stderr, "bench_store: %s\n", error.c_str());
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
