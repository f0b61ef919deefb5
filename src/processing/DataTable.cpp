#include "processing/DataTable.h"

#include <stdexcept>

namespace vexalo {

namespace {

// A row is a run of cells, each a length in base-128 digits (low digit first,
// high bit = more digits follow) and then its bytes.

void AppendLength(std::string& row, size_t length) {
  while (length >= 0x80) {
    row.push_back(static_cast<char>(0x80 | (length & 0x7F)));
    length >>= 7;
  }
  row.push_back(static_cast<char>(length));
}

size_t LengthSize(size_t length) {
  size_t digits = 1;
  for (; length >= 0x80; length >>= 7) ++digits;
  return digits;
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
    pos += length;
    ++span.cellsBefore;
  }
  span.begin = pos;
  return span;
}

void AppendCells(std::string& row, const std::vector<std::string_view>& cells) {
  for (const std::string_view cell : cells) {
    AppendLength(row, cell.size());
    row.append(cell);
  }
}

size_t EncodedSize(const std::vector<std::string_view>& cells) {
  size_t size = 0;
  for (const std::string_view cell : cells) size += LengthSize(cell.size()) + cell.size();
  return size;
}

void CheckIndex(int col, int row) {
  if (col < 0 || row < 0) throw std::out_of_range("grid index out of range");
}

}  // namespace

void DataTable::SetColCount(int count) { colCount_ = count < 0 ? 0 : count; }

void DataTable::SetRowCount(int count) { rowCount_ = count < 0 ? 0 : count; }

std::string_view DataTable::Cell(int col, int row) const {
  if (col < 0 || row < 0 || row >= StoredRowCount()) return {};
  const std::string_view stored = rows_[row];
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
  const std::string_view stored = rows_[row];
  size_t pos = 0;
  for (int col = 0; col <= last && pos < stored.size(); ++col) {
    const size_t length = ReadLength(stored, pos);
    if (col >= first) texts[col - first] = stored.substr(pos, length);
    pos += length;
  }
}

template <typename Change>
void DataTable::ChangeRow(int row, Change change) {
  const bool isNew = row >= StoredRowCount();
  if (isNew) {
    // Rows skipped on the way are stored empty, and so hold the empty id.
    while (StoredRowCount() < row) {
      rows_.emplace_back();
      idIndex_.Add({}, StoredRowCount() - 1, *this);
    }
    rows_.emplace_back();
  } else {
    idIndex_.Remove(Cell(kIdColumn, row), row, *this);
  }
  change(rows_[row]);
  idIndex_.Add(Cell(kIdColumn, row), row, *this);
}

DataTable::DataTable() {
  for (int row = 0; row < kInitialRowCount; ++row) ChangeRow(row, [](std::string&) {});
}

void DataTable::SetCell(int col, int row, std::string_view text) {
  CheckIndex(col, row);
  const auto write = [&](std::string& stored) {
    const CellSpan span = FindCell(stored, col);
    if (span.cellsBefore < col || span.begin >= stored.size()) {
      // Past the row's last cell: pad with empty cells up to `col`.
      for (int i = span.cellsBefore; i < col; ++i) AppendLength(stored, 0);
      AppendLength(stored, text.size());
      stored.append(text);
      return;
    }
    size_t pos = span.begin;
    const size_t oldLength = ReadLength(stored, pos);
    std::string replacement;
    AppendLength(replacement, text.size());
    replacement.append(text);
    stored.replace(span.begin, (pos - span.begin) + oldLength, replacement);
  };
  if (col == kIdColumn || row >= StoredRowCount()) {
    ChangeRow(row, write);
  } else {
    write(rows_[row]);  // column 1 stays as it is: nothing to index
  }
}

void DataTable::SetRow(int row, const std::vector<std::string_view>& cells) {
  CheckIndex(0, row);
  ChangeRow(row, [&](std::string& stored) {
    stored.clear();
    stored.reserve(EncodedSize(cells));
    AppendCells(stored, cells);
  });
}

void DataTable::SetLeadingCells(int row, const std::vector<std::string_view>& cells) {
  CheckIndex(0, row);
  ChangeRow(row, [&](std::string& stored) {
    const CellSpan kept = FindCell(stored, static_cast<int>(cells.size()));
    const std::string_view tail = std::string_view(stored).substr(kept.begin);
    std::string rebuilt;
    rebuilt.reserve(EncodedSize(cells) + tail.size());
    AppendCells(rebuilt, cells);
    rebuilt.append(tail);
    stored.swap(rebuilt);
  });
}

bool DataTable::IsUidlTaken(std::string_view id) const {
  const int32_t first = idIndex_.FirstRow(id, *this);
  if (first >= 0 && first < rowCount_) return true;
  // Visible rows past the stored ones were never written: their id is empty.
  return id.empty() && StoredRowCount() < rowCount_;
}

}  // namespace vexalo
