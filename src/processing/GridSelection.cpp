#include "processing/GridSelection.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "processing/DataFiles.h"
#include "processing/DataTable.h"

namespace vexalo {

GridRect NormalizedRect(GridRect rect) {
  return {std::min(rect.Left, rect.Right), std::min(rect.Top, rect.Bottom),
          std::max(rect.Left, rect.Right), std::max(rect.Top, rect.Bottom)};
}

GridRect SelectAllRect(const DataTable& table) {
  return {0, 0, table.ColCount() - 1, table.RowCount() - 1};
}

namespace {

void AppendTabCell(std::string& out, std::string_view cell) {
  if (cell.find_first_of("\t\r\n\"") == std::string_view::npos) {
    out.append(cell);
    return;
  }
  out += '"';
  for (const char c : cell) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

}  // namespace

std::string SelectionAsTabText(const DataTable& table, GridRect selection) {
  const GridRect rect = NormalizedRect(selection);
  std::string text;
  std::vector<std::string_view> cells;
  for (int32_t row = rect.Top; row <= rect.Bottom; ++row) {
    table.CellsInRange(row, rect.Left, rect.Right, cells);
    for (size_t i = 0; i < cells.size(); ++i) {
      if (i > 0) text += '\t';
      AppendTabCell(text, cells[i]);
    }
    text += '\n';
  }
  return text;
}

void SaveSelectionAsCsv(const DataTable& table, GridRect selection, const std::string& path) {
  SaveGridRect(table, NormalizedRect(selection), path);
}

}  // namespace vexalo
