// The whole table of a generated 1,000,000-line AllData.csv exported in a
// fresh process, as `vexalo-fetch --export` does it: loads the table, then
// writes it to FILE (CSV or .xlsx by its name), and reports the load, the
// export, their ratio (the load is the yardstick of the same run) and the
// process's peak resident memory after each.
//
//   datafiles_export_once FILE   e.g. /tmp/out.csv or /tmp/out.xlsx

#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "AllDataGenerator.h"
#include "table/DataFiles.h"
#include "table/DataTable.h"
#include "table/TableExport.h"

namespace {

constexpr int64_t kLines = 1000000;

template <typename Work>
double WallMs(Work work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

// The peak resident memory of the process so far (VmHWM), in MiB.
double PeakMb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: datafiles_export_once FILE\n");
    return 2;
  }
  const std::string out = argv[1];
  std::string folder = (std::filesystem::temp_directory_path() / "vexalo-bench-XXXXXX").string();
  if (::mkdtemp(folder.data()) == nullptr) return 1;
  const std::string allData = folder + "/" + vexalo::kAllDataFileName;
  vexalo::bench::WriteAllDataFile(allData, kLines);

  vexalo::DataTable table;
  vexalo::CellPoint cellPos;
  const double loadMs = WallMs([&] { vexalo::LoadAllData(table, allData, cellPos); });
  const double loadedPeak = PeakMb();
  vexalo::CellBlock all{0, table.ColCount() - 1, {}};
  for (int32_t row = 0; row < table.RowCount(); ++row) all.Rows.push_back(row);
  const double exportMs =
      WallMs([&] { vexalo::ExportCells(table, all, out, vexalo::FormulaGuard::kOn); });
  const double exportPeak = PeakMb();

  std::printf("%d rows x %d columns to %s: %.1f MiB\n", table.RowCount() - 1, table.ColCount(),
              out.c_str(), std::filesystem::file_size(out) / 1048576.0);
  std::printf("load:   %8.0f ms wall, peak RSS %.0f MiB\n", loadMs, loadedPeak);
  std::printf("export: %8.0f ms wall, peak RSS %.0f MiB (+%.0f MiB for the export)\n", exportMs,
              exportPeak, exportPeak - loadedPeak);
  std::printf("ratio export / load: %.2fx\n", exportMs / loadMs);
  std::filesystem::remove_all(folder);
  return 0;
}
