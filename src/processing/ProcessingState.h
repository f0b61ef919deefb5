#pragma once

#include <cstdint>
#include <string>

#include "jconv/MailCharset.h"
#include "processing/DataTable.h"

namespace vexalo {

// The working position in the table: X the next column of the working row to
// fill, Y the working row. The parser advances X, the loader of AllData.csv
// sets Y at start-up, the run resets X and advances Y on each commit.
struct CellPoint {
  int32_t X = DataTable::kFirstItemColumn;
  int32_t Y = 1;
};

// What the parser keeps about the message being read; reset before each one.
struct MessageState {
  bool TriggerFound = false;
  bool InHeader = false;
  CharsetMode Charset = csIso2022Jp;  // as the message's own Content-Type header declares it
  std::string RowText;
};

}  // namespace vexalo
