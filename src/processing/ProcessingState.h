#pragma once

#include <cstdint>
#include <string>

#include "processing/DataTable.h"

namespace vexalo {

// The working position in the table: X the next column of the working row to
// fill, Y the working row. The parser advances X, the loader of AllData.csv
// sets Y at start-up, the run resets X and advances Y on each commit.
struct CellPoint {
  int32_t X = DataTable::kFirstItemColumn;
  int32_t Y = 1;
};

// Charset of the message being read, as found in its Content-Type header.
enum CharsetMode : uint8_t {
  csIso2022Jp = 0,
  csShiftJis = 1,
  csEucJp = 2,
  csOther = 3,
};

// What the parser keeps about the message being read; reset before each one.
struct MessageState {
  bool TriggerFound = false;
  bool InHeader = false;
  uint8_t CharsetMode = csIso2022Jp;
  std::string RowText;
};

}  // namespace vexalo
