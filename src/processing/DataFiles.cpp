#include "processing/DataFiles.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>
#include <vector>

#include "processing/CsvLine.h"
#include "processing/DataTable.h"
#include "processing/InOutError.h"
#include "processing/LineReader.h"
#include "processing/PosixFile.h"

namespace vexalo {

namespace {

// The last row whose visible row count (row + 1) still fits the table's int.
constexpr int kLastLoadableRow = std::numeric_limits<int>::max() - 1;
// Sizing the table before loading, from the file's size: a line of a run's
// data rarely falls short of 100 bytes (run stamp, id and a few items), and
// the hint stops at twice the million rows the table is built for, so a huge
// file cannot make it ask for memory it will never use. Only a hint.
constexpr long long kBytesPerLineHint = 100;
constexpr long long kMostRowsHinted = 2000000;
// Bytes gathered before they go to the file in one write.
constexpr size_t kWriteChunk = size_t{1} << 20;

}  // namespace

void LoadFirstRow(DataTable& table, const std::string& path) {
  std::optional<PosixFile> file = PosixFile::OpenIfPresent(path);
  if (!file) return;
  LineReader reader(*file);
  const std::string_view line = reader.ReadLine();
  table.SetColCount(DataTable::kInitialColCount);
  table.SetRowCount(DataTable::kInitialRowCount);
  std::vector<std::string_view> titles;
  SplitCsvLine(line, kMaxFieldsPerLine, titles);
  table.SetLeadingCells(0, titles);
}

void LoadAllData(DataTable& table, const std::string& path, CellPoint& cellPos) {
  std::optional<PosixFile> file = PosixFile::OpenIfPresent(path);
  if (!file) return;
  table.ReserveRows(static_cast<int>(std::min(file->Size() / kBytesPerLineHint, kMostRowsHinted)));
  LineReader reader(*file);
  std::vector<std::string_view> cells;
  int row = 1;
  // The first line is taken even from an empty file.
  do {
    if (row > kLastLoadableRow) throw EInOutError(EFBIG);
    SplitCsvLine(reader.ReadLine(), kMaxFieldsPerLine, cells);
    table.SetLeadingCells(row, cells);
    table.SetColCount(static_cast<int>(cells.size()));
    table.SetRowCount(row + 1);
    ++row;
    cellPos.Y = row;
  } while (!reader.AtEnd());
}

void SaveGridRect(const DataTable& table, GridRect rect, const std::string& path) {
  PosixFile file(path, PosixFile::Mode::kReplace);
  std::string chunk;
  std::vector<std::string_view> cells;
  // 64-bit counters: a rectangle reaching the largest index must still end.
  for (int64_t row = rect.Top; row <= rect.Bottom; ++row) {
    // The left cell starts the line even when Right lies left of it.
    table.CellsInRange(static_cast<int>(row), rect.Left, std::max(rect.Left, rect.Right), cells);
    chunk.append(cells[0]);
    for (size_t i = 1; i < cells.size(); ++i) {
      chunk.push_back(',');
      chunk.append(cells[i]);
    }
    chunk.append("\r\n");
    if (chunk.size() >= kWriteChunk) {
      file.Write(chunk);
      chunk.clear();
    }
  }
  file.Write(chunk);
  file.Close();
}

void SaveFirstRow(const DataTable& table, const std::string& path) {
  SaveGridRect(table, {0, 0, table.ColCount() - 1, 0}, path);
}

}  // namespace vexalo
