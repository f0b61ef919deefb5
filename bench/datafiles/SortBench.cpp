// Sorting the grid's 1,000,000 rows by one column, loaded from a generated
// AllData.csv: by the run stamps (numbers inside text), the ids (plain
// bytes), a kanji item and a number item. Then a row a fetch adds, put into
// the sorted order of a million rows.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "AllDataGenerator.h"
#include "table/DataFiles.h"
#include "table/DataTable.h"
#include "table/RowOrder.h"

namespace {

constexpr int64_t kLines = 1000000;
vexalo::DataTable* g_table = nullptr;

void BM_SortBy(benchmark::State& state) {
  const auto col = static_cast<int32_t>(state.range(0));
  for (auto _ : state) {
    vexalo::RowOrder order;
    order.SortBy(*g_table, col, false);
    benchmark::DoNotOptimize(order.TableRow(1));
  }
}
// Columns 0 stamp, 1 id, 2 kanji, 4 number.
BENCHMARK(BM_SortBy)->Arg(0)->Arg(1)->Arg(2)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_InsertOneRowIntoSortedOrder(benchmark::State& state) {
  vexalo::RowOrder order;
  order.SortBy(*g_table, 0, false);
  const int32_t added = g_table->RowCount() - 1;  // stands in for a fetched row
  for (auto _ : state) {
    state.PauseTiming();
    vexalo::RowOrder copy = order;
    state.ResumeTiming();
    copy.InsertAt(copy.PlaceFor(*g_table, added), added);
    benchmark::DoNotOptimize(copy.TableRow(1));
  }
}
BENCHMARK(BM_InsertOneRowIntoSortedOrder)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  std::string folder = (std::filesystem::temp_directory_path() / "vexalo-bench-XXXXXX").string();
  if (::mkdtemp(folder.data()) == nullptr) return 1;
  const std::string path = folder + "/" + vexalo::kAllDataFileName;
  vexalo::bench::WriteAllDataFile(path, kLines);
  vexalo::DataTable table;
  vexalo::CellPoint cellPos;
  vexalo::LoadAllData(table, path, cellPos);
  std::filesystem::remove_all(folder);
  g_table = &table;
  std::printf("%d rows\n", table.RowCount() - 1);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
