#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "table/ColumnIndex.h"
#include "table/RowStore.h"

namespace vexalo {

// The table behind the main window's grid: text cells by (column, row), row 0
// the titles, and visible column and row counts kept apart from the stored
// cells. A cell written outside the visible area keeps its text; lowering a
// count hides cells without erasing them.
//
// Built for a million rows of a dozen short cells: a row is one run of bytes
// holding its cells back to back, each behind its length, so there is no object
// per cell and the stored size stays close to the text itself (RowStore keeps
// the runs).
//
// Column 1 holds each message's unique id and is indexed on every write, so
// that IsUidlTaken answers without scanning the rows. Every write raises
// std::out_of_range for a negative column or row.
class DataTable final : private ColumnIndex::CellSource {
 public:
  static constexpr int kInitialColCount = 3;
  static constexpr int kInitialRowCount = 2;
  // Every row begins with the run stamp and the message's id; the items
  // follow from column 2 on.
  static constexpr int kStampColumn = 0;
  static constexpr int kIdColumn = 1;
  static constexpr int kFirstItemColumn = 2;

  DataTable();

  int ColCount() const { return colCount_; }
  int RowCount() const { return rowCount_; }
  void SetColCount(int count);
  void SetRowCount(int count);

  // The cell's text; empty for a cell never written. The view is valid until
  // the next write to the table.
  std::string_view Cell(int col, int row) const;
  // The texts of the cells of `row` in columns first .. last, one per column
  // (none when last < first), read in one pass over the row.
  void CellsInRange(int row, int first, int last, std::vector<std::string_view>& texts) const;
  void SetCell(int col, int row, std::string_view text);
  // How many cells `row` stores, empty ones between them included; the cells
  // after them read empty. 0 for a row never written.
  int StoredCellCount(int row) const;

  // Replaces a whole row with `cells` (columns 0 .. cells.size() - 1); cells to
  // the right of them are erased. Faster than SetCell per cell when loading.
  void SetRow(int row, const std::vector<std::string_view>& cells);

  // Writes `cells` into columns 0 .. cells.size() - 1 and leaves the cells to
  // the right of them as they are: SetCell for each, in one pass over the row.
  void SetLeadingCells(int row, const std::vector<std::string_view>& cells) {
    SetCellsFrom(row, 0, cells);
  }

  // Writes `cells` into columns first .. first + cells.size() - 1 and leaves
  // every other cell as it is: SetCell for each, in one pass over the row.
  void SetCellsFrom(int row, int first, const std::vector<std::string_view>& cells);

  // A hint that rows up to `rows` are about to be written: room for them is
  // made at once rather than step by step. Changes no cell and no count.
  void ReserveRows(int rows);

  // Rows that hold at least one stored cell slot, visible or not.
  int StoredRowCount() const { return static_cast<int>(store_.Count()); }

  // Whether some row from 0 (the titles) to RowCount() - 1 holds exactly `id`
  // in column 1, compared byte for byte. Rows hidden by a lower row count do
  // not match; a visible row never written matches the empty id. Constant
  // time on average, whatever the number of rows.
  bool IsUidlTaken(std::string_view id) const;

 private:
  std::string_view IndexedText(int32_t row) const override { return Cell(kIdColumn, row); }

  // Makes `row` stored (rows that come into being are empty) and runs
  // `change` with its old bytes, keeping the index of column 1 in step.
  template <typename Change>
  void ChangeRow(int row, Change change);

  RowStore store_;
  int colCount_ = kInitialColCount;
  int rowCount_ = kInitialRowCount;
  // Mutable: a lookup first puts in the ids noted while rows were written.
  mutable ColumnIndex idIndex_;
};

}  // namespace vexalo
