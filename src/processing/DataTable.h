#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vexalo {

// The table behind the main window's grid: text cells by (column, row), row 0
// the titles, and visible column and row counts kept apart from the stored
// cells. A cell written outside the visible area keeps its text; lowering a
// count hides cells without erasing them.
//
// Built for a million rows of a dozen short cells: a row is one byte string
// holding its cells back to back, each behind its length, so there is no object
// per cell and the stored size stays close to the text itself.
class DataTable {
 public:
  static constexpr int kInitialColCount = 3;
  static constexpr int kInitialRowCount = 2;

  DataTable();

  int ColCount() const { return colCount_; }
  int RowCount() const { return rowCount_; }
  void SetColCount(int count);
  void SetRowCount(int count);

  // The cell's text; empty for a cell never written. The view is valid until
  // the next write to the table.
  std::string_view Cell(int col, int row) const;
  void SetCell(int col, int row, std::string_view text);

  // Replaces a whole row with `cells` (columns 0 .. cells.size() - 1); cells to
  // the right of them are erased. Faster than SetCell per cell when loading.
  void SetRow(int row, const std::vector<std::string_view>& cells);

  // Rows that hold at least one stored cell slot, visible or not.
  int StoredRowCount() const { return static_cast<int>(rows_.size()); }

 private:
  std::vector<std::string> rows_;
  int colCount_ = kInitialColCount;
  int rowCount_ = kInitialRowCount;
};

}  // namespace vexalo
