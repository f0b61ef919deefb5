#pragma once

#include <cstdint>
#include <string>

namespace vexalo {

class DataTable;

// A rectangle of table cells by inclusive column and row indexes, as the
// grid's selection gives it: the anchor may lie on any side of the current
// cell, so Left > Right or Top > Bottom is possible until normalised.
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

// Saves the cells of `selection` (a range in any direction, or one cell as a
// rectangle of itself) to `path` with SaveGridRect, replacing any file there
// without asking. Raises EInOutError as SaveGridRect does.
void SaveSelectionAsCsv(const DataTable& table, GridRect selection, const std::string& path);

// The cells of `selection` (any direction) as spreadsheets take them from the
// clipboard: cells joined by tabs, rows ended by LF. A cell that holds a tab,
// a line break or a double quote is put in double quotes, its quotes doubled.
// CP932, as the cells are.
std::string SelectionAsTabText(const DataTable& table, GridRect selection);

}  // namespace vexalo
