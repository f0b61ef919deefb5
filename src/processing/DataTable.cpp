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

void CheckIndex(int col, int row) {
  if (col < 0 || row < 0) throw std::out_of_range("grid index out of range");
}

}  // namespace

DataTable::DataTable() : rows_(kInitialRowCount) {}

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

void DataTable::SetCell(int col, int row, std::string_view text) {
  CheckIndex(col, row);
  if (row >= StoredRowCount()) rows_.resize(row + 1);
  std::string& stored = rows_[row];
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
}

void DataTable::SetRow(int row, const std::vector<std::string_view>& cells) {
  CheckIndex(0, row);
  if (row >= StoredRowCount()) rows_.resize(row + 1);
  std::string& stored = rows_[row];
  stored.clear();
  for (const std::string_view cell : cells) {
    AppendLength(stored, cell.size());
    stored.append(cell);
  }
}

}  // namespace vexalo
