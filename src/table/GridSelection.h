#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "table/FormulaGuard.h"

namespace vexalo {

class DataTable;
class RowOrder;

// A rectangle of the grid as it is shown, by inclusive column and grid row
// indexes (grid row 0 the titles; see RowOrder), as the grid's selection gives
// it: the anchor may lie on any side of the current cell, so Left > Right or
// Top > Bottom is possible until normalised. In the file's order grid rows are
// table rows.
struct GridRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;

  friend bool operator==(const GridRect&, const GridRect&) = default;
};

// The same cells with Left <= Right and Top <= Bottom.
GridRect NormalizedRect(GridRect rect);

// What select-all selects: every visible column and every visible row, the
// title row included (the only way the title row enters a selection).
GridRect SelectAllRect(const DataTable& table);

// Cells of the table in the order the user sees them: columns Left .. Right
// of each table row in `Rows`, row after row in that order.
struct CellBlock {
  int32_t Left = 0;
  int32_t Right = 0;
  std::vector<int32_t> Rows;

  friend bool operator==(const CellBlock&, const CellBlock&) = default;
};

// The table cells a rectangle of the grid (any direction) shows in `order`.
CellBlock ShownCells(GridRect rect, const RowOrder& order);

// Appends `cell` to `out` as spreadsheets read a field of delimited text: as
// it is, or, when it holds any of the bytes `quoteIf` (the delimiter, line
// breaks and '"') or, with `quoteEdgeBlanks`, begins or ends with a blank that
// a reader might trim, in double quotes with each '"' doubled (RFC 4180). None
// of those bytes is ever the second byte of a CP932 character. With the guard
// on, a cell that starts like a formula gets a leading "'", inside the quotes.
void AppendQuotedCell(std::string& out, std::string_view cell, std::string_view quoteIf,
                      bool quoteEdgeBlanks, FormulaGuard guard = FormulaGuard::kOff);

// The cells of `cells` as spreadsheets take them from the clipboard: cells
// joined by tabs, rows ended by LF. A cell that holds a tab, a line break or a
// double quote is put in double quotes, its quotes doubled. CP932, as the
// cells are. With the guard on, a cell that starts like a formula gets a
// leading "'" inside those quotes (FormulaGuard.h).
std::string SelectionAsTabText(const DataTable& table, const CellBlock& cells, FormulaGuard guard);

}  // namespace vexalo
