// Cost of one protocol line on a long file against a new one, and of opening a long import file.
// Files are made in a temporary folder on first use.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "shell/import_file.h"
#include "shell/protocol_file.h"

namespace {

constexpr int kMillion = 1000000;

struct Files {
  std::string dir;
  Files() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "tw-bench-XXXXXX").string();
    dir = ::mkdtemp(tmpl.data()) ? tmpl : "/tmp";
  }
  ~Files() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  // A protocol file of a million lines as the program writes them.
  std::string MillionLineProtocol() {
    std::string path = dir + "/million.txt";
    if (!std::filesystem::exists(path)) {
      std::FILE* f = std::fopen(path.c_str(), "wb");
      for (int i = 1; i <= kMillion; ++i)
        std::fprintf(f, "%6d\t09.12.2026 12:34:56\tE0040150A1B2C3D4\tDez BIN\xC4R Normal\t   0\t   4\t%d\r\n",
                     i, 100000 + i);
      std::fclose(f);
    }
    return path;
  }
  std::string MillionLineImport() {
    std::string path = dir + "/import.csv";
    if (!std::filesystem::exists(path)) {
      std::FILE* f = std::fopen(path.c_str(), "wb");
      for (int i = 1; i <= kMillion; ++i) std::fprintf(f, "%08d;Charge 17;Linie 3\r\n", i);
      std::fclose(f);
    }
    return path;
  }
};

Files& TheFiles() {
  static Files files;
  return files;
}

tw::ProtocolLineInput Line() {
  tw::ProtocolLineInput in;
  in.uid = {0xD4, 0xC3, 0xB2, 0xA1, 0x50, 0x01, 0x04, 0xE0};
  in.valueText = "1234567";
  return in;
}

void BM_ProtocolLineNewFile(benchmark::State& state) {
  std::string path = TheFiles().dir + "/new.txt";
  std::filesystem::remove(path);
  const tw::ProtocolLineInput in = Line();
  for (auto _ : state) benchmark::DoNotOptimize(tw::WriteProtocolLine(path, in));
  std::filesystem::remove(path);
}
// Each line is flushed to disk, so wall time is mostly the disk; a fixed count keeps runs short.
BENCHMARK(BM_ProtocolLineNewFile)->Unit(benchmark::kMicrosecond)->Iterations(40)->UseRealTime();

void BM_ProtocolLineMillionLineFile(benchmark::State& state) {
  std::string path = TheFiles().MillionLineProtocol();
  const tw::ProtocolLineInput in = Line();
  for (auto _ : state) benchmark::DoNotOptimize(tw::WriteProtocolLine(path, in));
}
BENCHMARK(BM_ProtocolLineMillionLineFile)->Unit(benchmark::kMicrosecond)->Iterations(40)->UseRealTime();

// The file changed behind our back before every line (another program touched it): every
// line counts the whole file again, which is what every line cost without the remembered count.
void BM_ProtocolLineMillionLineFileChangedEachTime(benchmark::State& state) {
  std::string path = TheFiles().MillionLineProtocol();
  const tw::ProtocolLineInput in = Line();
  long long ns = 0;
  for (auto _ : state) {
    state.PauseTiming();
    struct timespec t[2] = {{0, UTIME_OMIT}, {1000000000, ++ns}};
    ::utimensat(AT_FDCWD, path.c_str(), t, 0);
    state.ResumeTiming();
    benchmark::DoNotOptimize(tw::WriteProtocolLine(path, in));
  }
}
BENCHMARK(BM_ProtocolLineMillionLineFileChangedEachTime)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10)
    ->UseRealTime();

void BM_OpenMillionLineImportFile(benchmark::State& state) {
  std::string path = TheFiles().MillionLineImport();
  for (auto _ : state) {
    tw::CImportFile f;
    benchmark::DoNotOptimize(f.Open(path));
    if (f.LineCount() != kMillion) state.SkipWithError("wrong line count");
  }
}
BENCHMARK(BM_OpenMillionLineImportFile)->Unit(benchmark::kMillisecond);

}  // namespace
