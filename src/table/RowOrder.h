#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vexalo {

class DataTable;

// The order in which the grid shows the table's rows: the order of the file
// (the table's own), or the rows sorted by the text of one column. It is a
// view only; the table's rows never move.
//
// Rows are counted as the grid shows them, like table rows: grid row 0 is the
// titles, which never move, grid row 1 the first row below them. In the
// file's order grid row and table row are the same number.
//
// Sorting compares cells with CompareNatural; an empty cell comes after every
// other one in both directions, as spreadsheets put blanks last. The sort is
// stable: rows with equal text keep the file's order, in either direction.
class RowOrder final {
 public:
  bool IsSorted() const { return column_ >= 0; }
  // The sorted column, or -1 in the file's order.
  int32_t Column() const { return column_; }
  bool Descending() const { return descending_; }

  // Sorts the table's rows 1 .. RowCount() - 1 by the text of column `col`.
  // About a second for a million rows.
  void SortBy(const DataTable& table, int32_t col, bool descending);
  // Back to the file's order.
  void Clear();

  // The table row shown as grid row `gridRow`. Rows past the sorted ones
  // (none is shown there) are taken in the file's order.
  int32_t TableRow(int32_t gridRow) const {
    if (gridRow <= 0 || static_cast<size_t>(gridRow) > rows_.size()) return gridRow;
    return rows_[static_cast<size_t>(gridRow) - 1];
  }
  // The grid row that shows table row `tableRow`: the same number in the
  // file's order; while sorted -1 when no grid row shows it, found in time
  // linear in the number of rows.
  int32_t GridRow(int32_t tableRow) const;
  // The table rows shown in grid rows first .. last, in that order.
  std::vector<int32_t> TableRows(int32_t first, int32_t last) const;

  // Where table row `tableRow`, added to the table after the sort, belongs:
  // the grid row it is to be shown in, after every row with the same text.
  // A binary search; call only while sorted.
  int32_t PlaceFor(const DataTable& table, int32_t tableRow) const;
  // Shows table row `tableRow` in grid row `gridRow` (from PlaceFor), moving
  // the rows from there one down.
  void InsertAt(int32_t gridRow, int32_t tableRow);

 private:
  int32_t column_ = -1;
  bool descending_ = false;
  std::vector<int32_t> rows_;  // table rows of grid rows 1, 2, ... while sorted
};

}  // namespace vexalo
