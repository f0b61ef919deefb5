#include "processing/GridSelection.h"

#include <algorithm>

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

void SaveSelectionAsCsv(const DataTable& table, GridRect selection, const std::string& path) {
  SaveGridRect(table, NormalizedRect(selection), path);
}

}  // namespace vexalo
