#include "app/GridSearch.h"

#include <string>
#include <string_view>
#include <vector>

#include "app/GuiText.h"

namespace vexalo {

namespace {

// Byte search first, since it is cheap and a cell that holds the needle holds
// its CP932 bytes too; the text comparison then drops matches that start on
// the second byte of a double-byte character.
bool CellHolds(std::string_view cell, const std::string& bytes, const QString& needle) {
  return cell.find(bytes) != std::string_view::npos && FromCp932(cell).contains(needle);
}

}  // namespace

std::optional<CellPoint> FindNextCell(const DataTable& table, const RowOrder& order,
                                      const QString& needle, CellPoint from) {
  const int32_t cols = table.ColCount();
  const int32_t rows = table.RowCount() - 1;  // below the titles
  if (needle.isEmpty() || cols <= 0 || rows <= 0) return std::nullopt;
  const std::string bytes = ToCp932(needle);
  const int64_t cells = int64_t{cols} * rows;
  int64_t start = int64_t{from.Y - 1} * cols + from.X;
  if (start < 0 || start >= cells) start = cells - 1;
  std::vector<std::string_view> rowCells;
  int32_t loadedRow = -1;
  for (int64_t step = 1; step <= cells; ++step) {
    const int64_t at = (start + step) % cells;
    const auto row = static_cast<int32_t>(at / cols) + 1;
    const auto col = static_cast<int32_t>(at % cols);
    if (row != loadedRow) {
      table.CellsInRange(order.TableRow(row), 0, cols - 1, rowCells);
      loadedRow = row;
    }
    if (CellHolds(rowCells[static_cast<size_t>(col)], bytes, needle)) return CellPoint{col, row};
  }
  return std::nullopt;
}

}  // namespace vexalo
