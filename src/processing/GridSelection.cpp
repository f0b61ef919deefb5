#include "processing/GridSelection.h"

#include <algorithm>
#include <string_view>

#include "processing/DataTable.h"
#include "processing/RowOrder.h"

namespace vexalo {

GridRect NormalizedRect(GridRect rect) {
  return {std::min(rect.Left, rect.Right), std::min(rect.Top, rect.Bottom),
          std::max(rect.Left, rect.Right), std::max(rect.Top, rect.Bottom)};
}

GridRect SelectAllRect(const DataTable& table) {
  return {0, 0, table.ColCount() - 1, table.RowCount() - 1};
}

CellBlock ShownCells(GridRect rect, const RowOrder& order) {
  rect = NormalizedRect(rect);
  return {rect.Left, rect.Right, order.TableRows(rect.Top, rect.Bottom)};
}

namespace {

void AppendTabCell(std::string& out, std::string_view cell, FormulaGuard guard) {
  if (cell.find_first_of("\t\r\n\"") == std::string_view::npos) {
    AppendGuarded(out, cell, guard);
    return;
  }
  // The quote goes inside the double quotes, where the spreadsheet sees it.
  std::string guarded;
  AppendGuarded(guarded, cell, guard);
  out += '"';
  for (const char c : guarded) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

}  // namespace

std::string SelectionAsTabText(const DataTable& table, const CellBlock& cells, FormulaGuard guard) {
  std::string text;
  std::vector<std::string_view> rowCells;
  for (const int32_t row : cells.Rows) {
    table.CellsInRange(row, cells.Left, cells.Right, rowCells);
    for (size_t i = 0; i < rowCells.size(); ++i) {
      if (i > 0) text += '\t';
      AppendTabCell(text, rowCells[i], guard);
    }
    text += '\n';
  }
  return text;
}

}  // namespace vexalo
