#include "table/DataTable.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace vexalo {

namespace {

// A row is a run of cells, each a length in base-128 digits (low digit first,
// high bit = more digits follow) and then its bytes.

size_t LengthSize(size_t length) {
  size_t digits = 1;
  for (; length >= 0x80; length >>= 7) ++digits;
  return digits;
}

char* PutLength(char* out, size_t length) {
  while (length >= 0x80) {
    *out++ = static_cast<char>(0x80 | (length & 0x7F));
    length >>= 7;
  }
  *out++ = static_cast<char>(length);
  return out;
}

char* PutBytes(char* out, std::string_view bytes) {
  if (!bytes.empty()) std::memcpy(out, bytes.data(), bytes.size());
  return out + bytes.size();
}

size_t ReadLength(std::string_view row, size_t& pos) {
  size_t length = 0;
  for (int shift = 0; pos < row.size(); shift += 7) {
    const auto byte = static_cast<unsigned char>(row[pos++]);
    length |= static_cast<size_t>(byte & 0x7F) << shift;
    if ((byte & 0x80) == 0) break;
  }
  return length;
}

// Where cell `col` starts (at its length) and how many cells the row holds
// before it when the row is shorter.
struct CellSpan {
  size_t begin = 0;  // offset of the length of cell `col`, or row.size()
  int cellsBefore = 0;
};

CellSpan FindCell(std::string_view row, int col) {
  CellSpan span;
  size_t pos = 0;
  while (span.cellsBefore < col && pos < row.size()) {
    const size_t length = ReadLength(row, pos);
    pos = std::min(pos + length, row.size());
    ++span.cellsBefore;
  }
  span.begin = pos;
  return span;
}

size_t EncodedSize(const std::vector<std::string_view>& cells) {
  size_t size = 0;
  for (const std::string_view cell : cells) size += LengthSize(cell.size()) + cell.size();
  return size;
}

// Whether each cell starts one byte after the one before it ends, all in one
// buffer, and is short enough for a one-byte length: then the encoded row is
// that buffer with each separator byte replaced by the next cell's length.
// Cells cut from a line of the data file mostly are.
bool AreBackToBack(const std::vector<std::string_view>& cells) {
  for (size_t i = 0; i < cells.size(); ++i) {
    if (cells[i].size() >= 0x80) return false;
    if (i > 0 && reinterpret_cast<uintptr_t>(cells[i].data()) !=
                     reinterpret_cast<uintptr_t>(cells[i - 1].data()) + cells[i - 1].size() + 1) {
      return false;
    }
  }
  return true;
}

char* PutCells(char* out, const std::vector<std::string_view>& cells) {
  if (cells.empty()) return out;
  if (!AreBackToBack(cells)) {
    for (const std::string_view cell : cells) out = PutBytes(PutLength(out, cell.size()), cell);
    return out;
  }
  // One copy instead of one per cell: loading copies twelve million cells.
  const char* first = cells.front().data();
  const size_t span = static_cast<size_t>(cells.back().data() - first) + cells.back().size();
  PutBytes(out + 1, {first, span});
  for (const std::string_view cell : cells) {
    out[cell.data() - first] = static_cast<char>(cell.size());
  }
  return out + 1 + span;
}

void CheckIndex(int col, int row) {
  if (col < 0 || row < 0) throw std::out_of_range("grid index out of range");
}

}  // namespace

void DataTable::SetColCount(int count) { colCount_ = count < 0 ? 0 : count; }

void DataTable::SetRowCount(int count) { rowCount_ = count < 0 ? 0 : count; }

std::string_view DataTable::Cell(int col, int row) const {
  if (col < 0 || row < 0 || row >= StoredRowCount()) return {};
  const std::string_view stored = store_.Bytes(row);
  CellSpan span = FindCell(stored, col);
  if (span.cellsBefore < col || span.begin >= stored.size()) return {};
  size_t pos = span.begin;
  const size_t length = ReadLength(stored, pos);
  return stored.substr(pos, length);
}

void DataTable::CellsInRange(int row, int first, int last,
                             std::vector<std::string_view>& texts) const {
  texts.clear();
  if (last < first) return;
  texts.resize(static_cast<size_t>(static_cast<int64_t>(last) - first + 1));
  if (row < 0 || row >= StoredRowCount()) return;
  const std::string_view stored = store_.Bytes(row);
  size_t pos = 0;
  for (int col = 0; col <= last && pos < stored.size(); ++col) {
    const size_t length = ReadLength(stored, pos);
    if (col >= first) texts[col - first] = stored.substr(pos, length);
    pos += length;
  }
}

int DataTable::StoredCellCount(int row) const {
  if (row < 0 || row >= StoredRowCount()) return 0;
  const std::string_view stored = store_.Bytes(row);
  return FindCell(stored, std::numeric_limits<int>::max()).cellsBefore;
}

template <typename Change>
void DataTable::ChangeRow(int row, Change change) {
  if (row >= StoredRowCount()) {
    // Rows skipped on the way are stored empty, and so hold the empty id.
    while (StoredRowCount() < row) {
      store_.GrowTo(store_.Count() + 1);
      idIndex_.Add({}, StoredRowCount() - 1, *this);
    }
    store_.GrowTo(static_cast<size_t>(row) + 1);
  } else {
    idIndex_.Remove(Cell(kIdColumn, row), row, *this);
  }
  change(store_.Bytes(row));
  idIndex_.Add(Cell(kIdColumn, row), row, *this);
}

DataTable::DataTable() {
  for (int row = 0; row < kInitialRowCount; ++row) ChangeRow(row, [](std::string_view) {});
}

void DataTable::SetCell(int col, int row, std::string_view text) {
  CheckIndex(col, row);
  const auto write = [&](std::string_view old) {
    const CellSpan span = FindCell(old, col);
    size_t padding = 0;  // empty cells between the row's last cell and `col`
    size_t keepFrom = old.size();
    if (span.cellsBefore < col) {
      padding = static_cast<size_t>(col - span.cellsBefore);
    } else if (span.begin < old.size()) {
      size_t pos = span.begin;
      const size_t oldLength = ReadLength(old, pos);
      keepFrom = std::min(pos + oldLength, old.size());
    }
    const std::string_view before = old.substr(0, span.begin);
    const std::string_view after = old.substr(keepFrom);
    char* out = store_.Rewrite(
        row, before.size() + padding + LengthSize(text.size()) + text.size() + after.size());
    out = PutBytes(out, before);
    std::memset(out, 0, padding);  // a zero length is an empty cell
    out = PutBytes(PutLength(out + padding, text.size()), text);
    PutBytes(out, after);
  };
  if (col == kIdColumn || row >= StoredRowCount()) {
    ChangeRow(row, write);
  } else {
    write(store_.Bytes(row));  // column 1 stays as it is: nothing to index
  }
}

void DataTable::SetRow(int row, const std::vector<std::string_view>& cells) {
  CheckIndex(0, row);
  ChangeRow(row,
            [&](std::string_view) { PutCells(store_.Rewrite(row, EncodedSize(cells)), cells); });
}

void DataTable::SetCellsFrom(int row, int first, const std::vector<std::string_view>& cells) {
  CheckIndex(first, row);
  const auto write = [&](std::string_view old) {
    const CellSpan start = FindCell(old, first);
    const std::string_view before = old.substr(0, start.begin);
    const size_t padding = static_cast<size_t>(first - start.cellsBefore);  // empty cells
    const int64_t end = int64_t{first} + static_cast<int64_t>(cells.size());
    const size_t keepFrom =
        end > first
            ? FindCell(old.substr(start.begin), static_cast<int>(end - first)).begin + start.begin
            : start.begin;
    const std::string_view kept = old.substr(std::min(keepFrom, old.size()));
    char* out = store_.Rewrite(row, before.size() + padding + EncodedSize(cells) + kept.size());
    out = PutBytes(out, before);
    std::memset(out, 0, padding);  // a zero length is an empty cell
    PutBytes(PutCells(out + padding, cells), kept);
  };
  if (first <= kIdColumn || row >= StoredRowCount()) {
    ChangeRow(row, write);
  } else {
    write(store_.Bytes(row));  // column 1 stays as it is: nothing to index
  }
}

void DataTable::ReserveRows(int rows) {
  if (rows <= StoredRowCount()) return;
  store_.Reserve(static_cast<size_t>(rows));
  idIndex_.Reserve(static_cast<size_t>(rows));
}

bool DataTable::IsUidlTaken(std::string_view id) const {
  const int32_t first = idIndex_.FirstRow(id, *this);
  if (first >= 0 && first < rowCount_) return true;
  // Visible rows past the stored ones were never written: their id is empty.
  return id.empty() && StoredRowCount() < rowCount_;
}

}  // namespace vexalo
