#include "processing/DataFiles.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
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

// A row is hundreds of bytes that almost never hold `from`: memchr skips
// through them many bytes at a time, a test per byte does not.
void ReplaceEvery(char* begin, char* end, char from, char to) {
  while (begin != end) {
    begin = static_cast<char*>(std::memchr(begin, from, static_cast<size_t>(end - begin)));
    if (begin == nullptr) return;
    *begin++ = to;
  }
}

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

void AppendLine(const std::string& path, std::string_view text) {
  PosixFile file(path, PosixFile::Mode::kAppend);
  std::string line;
  line.reserve(text.size() + 4);
  const std::optional<char> lastByte = file.LastByte();
  if (lastByte && *lastByte != '\r' && *lastByte != '\n') line.append("\r\n");
  const size_t start = line.size();
  line.append(text);
  for (const char breaker : {'\r', '\n', '\x1a'}) {
    ReplaceEvery(line.data() + start, line.data() + line.size(), breaker, ' ');
  }
  line.append("\r\n");
  file.Write(line);
  file.Close();
}

namespace {

// A file or folder that must be made durable: being gone is a failure here.
void SyncExisting(const std::string& path) {
  std::optional<PosixFile> file = PosixFile::OpenIfPresent(path);
  if (!file) throw EInOutError(ENOENT);
  file->Sync();
  file->Close();
}

}  // namespace

void SyncFile(const std::string& path) {
  SyncExisting(path);
  // A file created since the last sync is only found again after a crash if
  // its name is on disk too.
  const std::string::size_type slash = path.rfind('/');
  SyncExisting(slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1));
}

}  // namespace vexalo
