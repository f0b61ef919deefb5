#include "table/GridSelection.h"

#include <algorithm>
#include <string_view>

#include "table/DataTable.h"
#include "table/RowOrder.h"

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

void AppendQuotedCell(std::string& out, std::string_view cell, std::string_view quoteIf,
                      bool quoteEdgeBlanks, FormulaGuard guard) {
  const bool edgeBlank =
      quoteEdgeBlanks && !cell.empty() && (cell.front() == ' ' || cell.back() == ' ');
  if (!edgeBlank && cell.find_first_of(quoteIf) == std::string_view::npos) {
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

std::string SelectionAsTabText(const DataTable& table, const CellBlock& cells, FormulaGuard guard) {
  std::string text;
  std::vector<std::string_view> rowCells;
  for (const int32_t row : cells.Rows) {
    table.CellsInRange(row, cells.Left, cells.Right, rowCells);
    for (size_t i = 0; i < rowCells.size(); ++i) {
      if (i > 0) text += '\t';
      AppendQuotedCell(text, rowCells[i], "\t\r\n\"", false, guard);
    }
    text += '\n';
  }
  return text;
}

}  // namespace vexalo
