// LoadAllData of a generated 1,000,000-line AllData.csv, against merely
// reading the same file and counting its lines, in the same run; the ratio of
// the two medians is printed at the end. The file stays in the page cache
// between the two, so neither pays for the disk.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "AllDataGenerator.h"
#include "table/DataFiles.h"
#include "table/DataTable.h"

namespace {

constexpr int64_t kLines = 1000000;
std::string g_path;

void BM_ReadAndCountLines(benchmark::State& state) {
  std::vector<char> buffer(size_t{1} << 20);
  for (auto _ : state) {
    const int fd = ::open(g_path.c_str(), O_RDONLY);
    int64_t lines = 0;
    for (ssize_t got; (got = ::read(fd, buffer.data(), buffer.size())) > 0;) {
      lines += std::count(buffer.data(), buffer.data() + got, '\r');
    }
    ::close(fd);
    if (lines != kLines) state.SkipWithError("wrong line count");
    benchmark::DoNotOptimize(lines);
  }
}
BENCHMARK(BM_ReadAndCountLines)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5);

void BM_LoadAllData(benchmark::State& state) {
  for (auto _ : state) {
    auto table = std::make_unique<vexalo::DataTable>();
    vexalo::CellPoint cellPos;
    vexalo::LoadAllData(*table, g_path, cellPos);
    if (cellPos.Y != kLines + 1) state.SkipWithError("wrong row count");
    state.PauseTiming();
    table.reset();  // freeing the table is not part of loading it
    state.ResumeTiming();
  }
}
BENCHMARK(BM_LoadAllData)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5);

// Prints as usual and keeps the median of each benchmark for the ratio.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        medians_[run.run_name.function_name] = run.GetAdjustedRealTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void PrintRatio() const {
    const auto load = medians_.find("BM_LoadAllData");
    const auto read = medians_.find("BM_ReadAndCountLines");
    if (load == medians_.end() || read == medians_.end() || read->second <= 0) return;
    std::printf("LoadAllData / read and count lines (medians): %.2fx (goal <= 4x)\n",
                load->second / read->second);
  }

 private:
  std::map<std::string, double> medians_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  std::string folder = (std::filesystem::temp_directory_path() / "vexalo-bench-XXXXXX").string();
  if (::mkdtemp(folder.data()) == nullptr) return 1;
  g_path = folder + "/" + vexalo::kAllDataFileName;
  const int64_t size = vexalo::bench::WriteAllDataFile(g_path, kLines);
  std::printf("%lld lines, %.1f MB\n", static_cast<long long>(kLines), size / 1e6);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatio();
  std::filesystem::remove_all(folder);
  benchmark::Shutdown();
  return 0;
}
