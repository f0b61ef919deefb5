// IsUidlTaken on tables of growing size: the time per call should stay flat.
// Present ids are looked up in random order, so each call lands on a cold
// part of the table as it would for the ids of a mailbox.

#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "AllDataGenerator.h"
#include "table/DataTable.h"

namespace {

constexpr size_t kProbes = size_t{1} << 16;

struct Fixture {
  vexalo::DataTable table;
  std::vector<std::string> present;
  std::vector<std::string> absent;
};

const Fixture& FixtureOfRows(int rows) {
  static std::map<int, std::unique_ptr<Fixture>> fixtures;
  std::unique_ptr<Fixture>& fixture = fixtures[rows];
  if (fixture) return *fixture;
  fixture = std::make_unique<Fixture>();
  const std::string stamp = "2024/05/01 9:30:15";
  for (int row = 1; row <= rows; ++row) {
    const std::string id = vexalo::bench::GeneratedId(row);
    fixture->table.SetRow(row, {stamp, id, "\x8e\x52\x93\x63", "3"});
  }
  fixture->table.SetRowCount(rows + 1);
  std::mt19937 random(7);
  for (size_t i = 0; i < kProbes; ++i) {
    fixture->present.push_back(vexalo::bench::GeneratedId(1 + random() % rows));
    fixture->absent.push_back(vexalo::bench::GeneratedId(rows + 1 + random() % rows));
  }
  return *fixture;
}

void LookUp(benchmark::State& state, bool present) {
  const Fixture& fixture = FixtureOfRows(static_cast<int>(state.range(0)));
  const std::vector<std::string>& ids = present ? fixture.present : fixture.absent;
  size_t next = 0;
  for (auto _ : state) {
    const bool taken = fixture.table.IsUidlTaken(ids[next]);
    if (taken != present) state.SkipWithError("wrong answer");
    benchmark::DoNotOptimize(taken);
    next = (next + 1) % ids.size();
  }
}

void BM_IsUidlTaken_Present(benchmark::State& state) { LookUp(state, true); }
void BM_IsUidlTaken_Absent(benchmark::State& state) { LookUp(state, false); }

BENCHMARK(BM_IsUidlTaken_Present)->RangeMultiplier(10)->Range(1000, 1000000);
BENCHMARK(BM_IsUidlTaken_Absent)->RangeMultiplier(10)->Range(1000, 1000000);

}  // namespace

BENCHMARK_MAIN();
