#pragma once

#include <cstdint>

#include "table/DataTable.h"

namespace vexalo {

// The working position in the table: X the next column of the working row to
// fill, Y the working row, the row the next message taken goes into.
struct CellPoint {
  int32_t X = DataTable::kFirstItemColumn;
  int32_t Y = 1;
};

}  // namespace vexalo
