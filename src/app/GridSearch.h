#pragma once

#include <QString>
#include <optional>

#include "processing/DataTable.h"
#include "processing/ProcessingState.h"

namespace vexalo {

// The next cell below the titles, after `from` (table coordinates) in reading
// order and wrapping round to the top, whose text holds `needle` as typed;
// `from` itself comes last. Nothing when no cell holds it or the needle is
// empty.
std::optional<CellPoint> FindNextCell(const DataTable& table, const QString& needle,
                                      CellPoint from);

}  // namespace vexalo
