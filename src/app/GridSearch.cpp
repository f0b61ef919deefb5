#include "app/GridSearch.h"

#include <string>
#include <string_view>
#include <vector>

#include "app/GuiText.h"
#include "text/CommFuncs.h"

namespace vexalo {

namespace {

// Both sides folded (FoldForSearch): an office worker typing "2,500" or "abc"
// means the cell that shows "2，500" or "ＡＢＣ".
bool CellHolds(std::string_view cell, const std::string& foldedNeedle, std::string& folded) {
  FoldForSearch(cell, folded);
  return HoldsFolded(folded, foldedNeedle);
}

}  // namespace

std::optional<CellPoint> FindNextCell(const DataTable& table, const RowOrder& order,
                                      const QString& needle, CellPoint from) {
  const int32_t cols = table.ColCount();
  const int32_t rows = table.RowCount() - 1;  // below the titles
  if (needle.isEmpty() || cols <= 0 || rows <= 0) return std::nullopt;
  std::string foldedNeedle;
  FoldForSearch(ToCp932(needle), foldedNeedle);
  std::string folded;
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
    if (CellHolds(rowCells[static_cast<size_t>(col)], foldedNeedle, folded))
      return CellPoint{col, row};
  }
  return std::nullopt;
}

}  // namespace vexalo
