#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "jconv/JisConv.h"
#include "processing/DataTable.h"
#include "processing/ProcessingState.h"
#include "settings/SettingsFields.h"

namespace vexalo {

// The items one message may give: with the run stamp and the id, a row of the
// most cells a line of AllData.csv loads back into.
inline constexpr int kMaxItemsPerMessage = 65536 - 2;

// Turns the lines of one retrieved message into one row of the table.
//
// In the header it notes the declared charset and whether a line equals the
// trigger line; the first blank line ends the header. In the body of a message
// that carried the trigger line, every line is decoded to CP932, its commas
// made full-width, and split at the separator: the name becomes the title of
// the next column, the value that column's cell in the working row and the
// next field of the message's CSV line (`MessageState::RowText`). Titles and
// cells are gathered and go into the table in one pass per row when the run
// calls WriteItems, so a message of a hundred thousand items costs no more per
// item than one of ten. Items past kMaxItemsPerMessage are left out, so that
// the row reads back from AllData.csv as it was taken.
//
// The trigger line and the separator are read from `fields` on every line, so
// a change in the settings dialog applies at once. The parser owns none of
// what it writes: the table, the working position and the message state
// belong to the run, which must outlive the parser, commits the row when the
// message is complete and calls ResetMessageState before the next one.
// Nothing is reported; nothing is raised for any input.
class TMessageParser {
 public:
  TMessageParser(DataTable& table, const SettingsFields& fields, const TJisConv& jisConv,
                 CellPoint& cellPos, MessageState& state);

  // Before each message: TriggerFound false, InHeader true, CharsetMode 3
  // (undeclared), RowText empty. The working position is left alone.
  void ResetMessageState();

  // One line of the message being read: no line end, a leading doubled dot
  // already undone. `msgUidl` is the server's unique id of the message and
  // `runStamp` the run's date-time text; both only go into RowText.
  //
  // The Content-Type header counts with its continuation lines (lines that
  // start with a blank or a tab right after it); when several are present the
  // last one wins. The trigger line is compared whole, ASCII letters without
  // regard to case, line by line: a folded trigger line never matches.
  void ProcessMessageLine(std::string_view line, std::string_view msgUidl,
                          std::string_view runStamp);

  // One decoded, comma-escaped body line: splits it at the separator and, unless
  // its name is "%" (a comment), gathers the name as the title and the value as
  // the cell of column CellPos.X, appends the value to RowText (started with
  // the run stamp and the escaped id for the message's first item) and moves
  // CellPos.X on by one.
  void AddItem(std::string_view text, std::string_view msgUidl, std::string_view runStamp);

  // Writes the items gathered since the last call: their names into row 0 and
  // their values into the working row, from column 2 on; other cells stay.
  void WriteItems();

  // The CharsetMode for a Content-Type header (its name, the colon and the
  // value, continuation lines appended as they stand): the value of its
  // `charset` parameter wherever it stands among the parameters (name in any
  // case, one pair of double quotes removed, trimmed), upper-cased:
  // "ISO-2022-JP" 0, "SHIFT_JIS" 1, "EUC-JP" 2; anything else or none 3.
  static uint8_t DetectCharset(std::string_view contentTypeText);

 private:
  void ProcessHeaderLine(std::string_view line);
  std::string Decode(std::string_view line) const;

  DataTable& table_;
  const SettingsFields& fields_;
  const TJisConv& jisConv_;
  CellPoint& cellPos_;
  MessageState& state_;

  // The Content-Type header read so far, while continuation lines may still
  // follow it; empty otherwise.
  std::string contentType_;

  // The names and values of the items not yet in the table.
  std::vector<std::string> names_;
  std::vector<std::string> values_;
  int32_t firstGathered_ = 0;  // the column of names_[0]
};

}  // namespace vexalo
