#include "table/DataFiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <limits>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/InOutError.h"
#include "platform/LineReader.h"
#include "platform/PosixFile.h"
#include "platform/ReplacementFile.h"
#include "platform/SmallFile.h"
#include "table/AllDataAppender.h"
#include "table/CsvLine.h"
#include "table/DataTable.h"
#include "table/FormulaGuard.h"
#include "text/ByteScan.h"

namespace vexalo {

namespace {

// A data file that must be made durable: being gone is a failure here.
void SyncExisting(const std::string& path) {
  std::optional<PosixFile> file = PosixFile::OpenIfPresent(path);
  if (!file) throw EInOutError(ENOENT, path);
  file->Sync();
  file->Close();
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

namespace {

// Loads the lines `reader` gives into rows from cellPos.Y on, moving
// cellPos.Y and the visible row count past each; the visible column count
// only ever grows. `firstLineAlways` takes a first line even from an empty
// file. Returns the bytes the lines took.
long long LoadLines(DataTable& table, LineReader& reader, CellPoint& cellPos,
                    bool firstLineAlways) {
  std::vector<std::string_view> cells;
  int row = cellPos.Y;
  for (bool take = firstLineAlways; take || !reader.AtEnd(); take = false) {
    if (row > kLastLoadableRow) throw EInOutError(EFBIG);
    SplitCsvLine(reader.ReadLine(), kMaxFieldsPerLine, cells);
    table.SetLeadingCells(row, cells);
    table.SetColCount(std::max(table.ColCount(), static_cast<int>(cells.size())));
    table.SetRowCount(row + 1);
    ++row;
    cellPos.Y = row;
  }
  return reader.Consumed();
}

}  // namespace

long long LoadAllData(DataTable& table, const std::string& path, CellPoint& cellPos) {
  std::optional<PosixFile> file = PosixFile::OpenIfPresent(path);
  if (!file) return 0;
  table.ReserveRows(static_cast<int>(std::min(file->Size() / kBytesPerLineHint, kMostRowsHinted)));
  LineReader reader(*file);
  cellPos.Y = 1;
  return LoadLines(table, reader, cellPos, true);
}

long long LoadAppendedRows(DataTable& table, const std::string& path, long long from,
                           CellPoint& cellPos) {
  std::optional<PosixFile> file = PosixFile::OpenIfPresent(path);
  if (!file) return from;
  const long long size = file->Size();
  // A file cut or replaced behind our back: what it holds now is unknown
  // ground, and loading it again would double the rows we have.
  if (size <= from) return std::min(size, from);
  bool lastLineOpen = false;  // the line before `from` had no line end yet
  if (from > 0) {
    file->SeekTo(from - 1);
    char before = 0;
    lastLineOpen = file->Read(&before, 1) == 1 && before != '\r' && before != '\n';
  }
  file->SeekTo(from);
  LineReader reader(*file);
  // An append after such a line first ends it: that line end, and whatever
  // else lengthened the row we already hold, is not a row of its own.
  if (lastLineOpen && !reader.AtEnd()) reader.ReadLine();
  return from + LoadLines(table, reader, cellPos, false);
}

namespace {

// How a line of cells is written: FirstRow.csv is read back by our own loader,
// which knows no quotes; a user's export is read by spreadsheets, which do.
enum class CellQuoting { kPlain, kWhereNeeded };

// Gives the lines of SaveCells to `write`, a chunk of them at a time.
template <typename Write>
void WriteCells(const DataTable& table, const CellBlock& block, Write write, CellQuoting quoting,
                FormulaGuard guard) {
  std::string chunk;
  std::vector<std::string_view> cells;
  for (const int32_t row : block.Rows) {
    // The left cell starts the line even when Right lies left of it.
    table.CellsInRange(row, block.Left, std::max(block.Left, block.Right), cells);
    const size_t lineStart = chunk.size();
    for (size_t i = 0; i < cells.size(); ++i) {
      if (i > 0) chunk.push_back(',');
      if (quoting == CellQuoting::kWhereNeeded) {
        AppendQuotedCell(chunk, cells[i], ",\r\n\"", true, guard);
      } else {
        chunk.append(cells[i]);
      }
    }
    if (quoting == CellQuoting::kWhereNeeded) {
      // Line breaks are safe inside quotes; an end-of-file mark is not.
      ReplaceEvery(chunk.data() + lineStart, chunk.data() + chunk.size(), kEndOfFileMark, ' ');
    } else {
      BlankLineBreakers(chunk.data() + lineStart, chunk.data() + chunk.size());
    }
    chunk.append("\r\n");
    if (chunk.size() >= kWriteChunk) {
      write(chunk);
      chunk.clear();
    }
  }
  write(chunk);
}

// The writer of WriteCells for a file.
auto To(PosixFile& file) {
  return [&file](std::string_view chunk) { file.Write(chunk); };
}

// FirstRow.csv written where it is: not proof against a crash in the middle.
void WriteTitlesInPlace(const DataTable& table, const CellBlock& titles, const std::string& path) {
  PosixFile file(path, PosixFile::Mode::kReplaceDataFile);
  WriteCells(table, titles, To(file), CellQuoting::kPlain, FormulaGuard::kOff);
  file.Sync();
  file.Close();
}

}  // namespace

void SaveCells(const DataTable& table, const CellBlock& block, const std::string& path,
               FormulaGuard guard) {
  PosixFile file(path, PosixFile::Mode::kReplace);
  WriteCells(table, block, To(file), CellQuoting::kWhereNeeded, guard);
  file.Close();
}

void SaveFirstRow(const DataTable& table, const std::string& path) {
  // Written beside it and renamed over it: a run stopped in the middle
  // leaves the old titles, never an empty or cut file.
  const CellBlock titles{0, table.ColCount() - 1, {0}};
  // Every run ends by saving the titles, mostly the ones the file holds:
  // those cost no new file and no two syncs.
  std::string text;
  WriteCells(
      table, titles, [&text](std::string_view chunk) { text.append(chunk); }, CellQuoting::kPlain,
      FormulaGuard::kOff);
  const SmallFileContent saved = ReadSmallFile(path, text.size());
  if (saved.state == SmallFileContent::State::kRead && saved.text == text) return;
  // A link the user made would be replaced by a plain file: it is written
  // through, as it always was. Anything else that is no file is refused there.
  struct stat entry {};
  if (::lstat(path.c_str(), &entry) == 0 && !S_ISREG(entry.st_mode)) {
    WriteTitlesInPlace(table, titles, path);
    return;
  }
  try {
    ReplacementFile replacement(path);
    try {
      WriteCells(table, titles, To(replacement.File()), CellQuoting::kPlain, FormulaGuard::kOff);
    } catch (const EInOutError& error) {
      throw EInOutError(error.ErrorCode(), path);  // the user knows the file, not its stand-in
    }
    replacement.Commit();
  } catch (const EInOutError& error) {
    const bool folderRefuses = error.ErrorCode() == EACCES || error.ErrorCode() == EPERM;
    if (!folderRefuses || ::access(path.c_str(), W_OK) != 0) throw;
    // A folder the user may not write, holding titles he may: written in
    // place, the only way to write them there at all.
    WriteTitlesInPlace(table, titles, path);
  }
}

long long AppendLine(const std::string& path, std::string_view text) {
  AllDataAppender appender(path);
  const long long length = appender.Append(text);
  appender.Close();
  return length;
}

void SyncFile(const std::string& path) {
  SyncExisting(path);
  PosixFile::SyncFolderOf(path);
}

}  // namespace vexalo
