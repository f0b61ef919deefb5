#pragma once

#include "processing/MessageParser.h"

namespace vexalo::testing {

// A message parser over its own table, settings and state, set up as a run
// leaves it before a message: the default trigger line, ":" as the
// separator, column 2 of row 1.
struct ParserUnderTest {
  ParserUnderTest() {
    fields.headerToken = "X-VEXALO: default";
    fields.splitToken = ":";
    parser.ResetMessageState();
  }

  DataTable table;
  PlainSettingsFields fields;
  TJisConv jisConv;
  CellPoint cellPos;
  MessageState state;
  TMessageParser parser{table, fields, jisConv, cellPos, state};
};

}  // namespace vexalo::testing
