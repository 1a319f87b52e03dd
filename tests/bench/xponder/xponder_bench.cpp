// Reader transactions and time per transponder operation, per type and reader generation, against
// tagwright-sim over a pseudo-terminal: read 4 blocks, write 4 blocks, UID read with and without a
// modulation search. The baseline for later speed work.
#include <benchmark/benchmark.h>

#include <string>

#include "tests/integration/xponder/sim_reader.h"

namespace tw::test {
namespace {

struct BenchType {
  const char* name;
  int type;
  const char* tag;        // "tag add" arguments, the tag answering at the reader's modulation 0
  const char* movedTag;   // the same tag configured for modulation 1 (legacy search), or null
  int dataBlock;
  bool authenticate;      // Hitag 2: authenticate with the password once
};

const BenchType kTypes[] = {
    {"Hitag1", 5, "hitag1 A1B2C3D4", nullptr, 16, false},
    {"Hitag2", 2, "hitag2 A1B2C3D4 protected 11223344", nullptr, 4, true},
    {"HitagS", 4, "hitags A1B2C3D4", nullptr, 4, false},
    {"HitagMu", 10, "hitagmu A1B2C3D4E5F6", nullptr, 0, false},
    {"Ata5555", 3, "q5 0102030405", nullptr, 1, false},
    {"Ata5577", 9, "ata5577 AABB15E011223344 mem 0=00148000",
     "ata5577 AABB15E011223344 mem 0=003F8000", 1, false},
    {"Em4305", 8, "em4305 A1B2C3D4", "em4305 A1B2C3D4 mem 4=0000008F", 5, false},
    {"Em4450", 6, "em4450 A1B2C3D4", nullptr, 3, false},
    {"Sic7888", 12, "sic7888 A1B2C3D4", nullptr, 4, false},
};

enum class Op { kRead4, kWrite4, kUid, kUidSearch };

const Bytes kPw{0x44, 0x33, 0x22, 0x11};

void Run(benchmark::State& state, const Generation& gen, const BenchType& t, Op op) {
  SimReader r(gen);
  const bool moved = op == Op::kUidSearch;
  if (r.handle() <= 0 || !r.AddTag(moved ? t.movedTag : t.tag)) {
    state.SkipWithError("simulator not available");
    return;
  }
  LF_SetModulation(r.handle(), 0);
  const Bytes uid = r.ReadUid(t.type);
  if (t.authenticate) r.Authenticate(t.type, kPw);
  const Bytes data{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  Bytes buf(32);
  r.TakeTransactions();
  int resets = 0;
  for (auto _ : state) {
    int n = 0;
    switch (op) {
      case Op::kRead4:
        n = LF_ReadBlocks(r.handle(), t.type, t.dataBlock, buf.data(), 16);
        break;
      case Op::kWrite4:
        n = LF_WriteBlocks(r.handle(), t.type, t.dataBlock, data.data(), 16, 0) == 0 ? 16 : -1;
        break;
      case Op::kUid:
        n = LF_ReadUid(r.handle(), t.type, buf.data(), static_cast<int>(buf.size()));
        break;
      case Op::kUidSearch:
        // The reader starts each search from the modulation the tag does not answer in.
        state.PauseTiming();
        if (LF_SetModulation(r.handle(), 0) == 0) ++resets;
        state.ResumeTiming();
        n = LF_ReadUid(r.handle(), t.type, buf.data(), static_cast<int>(buf.size()));
        break;
    }
    if (n <= 0) {
      state.SkipWithError(("operation failed, error " + std::to_string(r.Error())).c_str());
      break;
    }
  }
  const int transactions = r.TakeTransactions() - (op == Op::kUidSearch ? resets : 0);
  state.counters["transactions"] =
      state.iterations() ? static_cast<double>(transactions) / state.iterations() : 0;
  benchmark::DoNotOptimize(uid);
}

void RegisterAll() {
  const struct {
    Op op;
    const char* name;
  } ops[] = {{Op::kRead4, "Read4Blocks"},
             {Op::kWrite4, "Write4Blocks"},
             {Op::kUid, "ReadUid"},
             {Op::kUidSearch, "ReadUidWithSearch"}};
  for (const Generation* gen : {&kUnified, &kLegacy}) {
    for (const BenchType& t : kTypes) {
      for (const auto& o : ops) {
        // A search happens only on legacy readers, and only for types whose modulation is set.
        if (o.op == Op::kUidSearch && (!t.movedTag || gen == &kUnified)) continue;
        const std::string name = std::string(o.name) + "/" + gen->name + "/" + t.name;
        benchmark::RegisterBenchmark(name.c_str(), [gen, &t, op = o.op](benchmark::State& s) {
          Run(s, *gen, t, op);
        })->Iterations(30)->UseRealTime()->Unit(benchmark::kMillisecond);
      }
    }
  }
}

}  // namespace
}  // namespace tw::test

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  tw::test::RegisterAll();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
