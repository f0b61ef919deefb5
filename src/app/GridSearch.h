#pragma once

#include <QString>
#include <optional>

#include "table/DataTable.h"
#include "table/ProcessingState.h"
#include "table/RowOrder.h"

namespace vexalo {

// The next cell below the titles, after `from` (column and grid row, the rows
// in `order`) in reading order as shown and wrapping round to the top, whose
// text holds `needle`, ASCII letters in either case and full-width forms of
// ASCII ("Ａ", "，", "：") alike to their half-width ones; `from` itself comes last. The cell found
// is given as column and grid row too. Nothing when no cell holds it or the needle is empty.
std::optional<CellPoint> FindNextCell(const DataTable& table, const RowOrder& order,
                                      const QString& needle, CellPoint from);

}  // namespace vexalo
