#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "jconv/JisConv.h"
#include "jconv/MailTextDecoder.h"
#include "processing/DataTable.h"
#include "processing/MimeHeader.h"
#include "processing/MimeWalker.h"
#include "processing/ProcessingState.h"
#include "processing/TextLineSink.h"
#include "settings/SettingsFields.h"

namespace vexalo {

// The items one message may give: with the run stamp and the id, a row of the
// most cells a line of AllData.csv loads back into.
inline constexpr int kMaxItemsPerMessage = 65536 - 2;

// Turns the lines of one retrieved message into one row of the table.
//
// In the header it notes the declared charset and the fields that say how
// the body is built, and whether a line equals the trigger line; the first
// blank line ends the header. For a message that carried the trigger line,
// the text of its body is found and decoded to CP932 line by line (see
// TMimeWalker: the body itself, or the first plain-text part of a
// multipart, else its first HTML part made text; transfer encodings undone;
// any charset iconv knows). Every line of that text has its commas made
// full-width and is split at the separator: the name becomes the title of
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
// belong to the run, which must outlive the parser, calls FinishMessage and
// commits the row when the message is complete, and calls ResetMessageState
// before the next one. Nothing is reported; nothing is raised for any input.
class TMessageParser {
 public:
  TMessageParser(DataTable& table, const SettingsFields& fields, const TJisConv& jisConv,
                 CellPoint& cellPos, MessageState& state);
  TMessageParser(const TMessageParser&) = delete;
  TMessageParser& operator=(const TMessageParser&) = delete;

  // Before each message: TriggerFound false, InHeader true, Charset csOther
  // (undeclared), RowText empty. The working position is left alone.
  void ResetMessageState();

  // One line of the message being read: no line end, a leading doubled dot
  // already undone. `msgUidl` is the server's unique id of the message and
  // `runStamp` the run's date-time text; both only go into RowText.
  //
  // The header fields count with their continuation lines (lines that start
  // with a blank or a tab right after them); when one is present twice the
  // last one wins. The trigger line is compared whole, ASCII letters without
  // regard to case, line by line: a folded trigger line never matches. A line
  // that holds encoded words (=?charset?B?…?=) is compared decoded as well,
  // so an encoded Subject can serve as the trigger line.
  void ProcessMessageLine(std::string_view line, std::string_view msgUidl,
                          std::string_view runStamp);

  // The end of the message: items its last lines left unfinished (the last
  // line of a base64 text without a line end, HTML held back while a plain
  // text could still follow) are taken now.
  void FinishMessage(std::string_view msgUidl, std::string_view runStamp);

  // One decoded, comma-escaped body line: splits it at the separator and, unless
  // its name is "%" (a comment), gathers the name as the title and the value as
  // the cell of column CellPos.X, appends the value to RowText (started with
  // the run stamp and the escaped id for the message's first item) and moves
  // CellPos.X on by one.
  void AddItem(std::string_view text, std::string_view msgUidl, std::string_view runStamp);

  // Writes the items gathered since the last call: their names into row 0 and
  // their values into the working row, from column 2 on; other cells stay.
  // Returns whether a title in row 0 changed.
  bool WriteItems();

  // The CharsetMode for a Content-Type header (its name, the colon and the
  // value, continuation lines appended as they stand), by the value of its
  // `charset` parameter wherever it stands among the parameters (name in any
  // case, one pair of double quotes removed, trimmed): see CharsetModeOf.
  static CharsetMode DetectCharset(std::string_view contentTypeText);

 private:
  void ProcessHeaderLine(std::string_view line);
  bool IsTriggerLine(std::string_view line);
  void TakeTextLine(std::string_view text);

  DataTable& table_;
  const SettingsFields& fields_;
  CellPoint& cellPos_;
  MessageState& state_;

  // The names and values of the items not yet in the table.
  std::vector<std::string> names_;
  std::vector<std::string> values_;
  int32_t firstGathered_ = 0;  // the column of names_[0]
  TMimeHeaderReader header_;
  TMimeWalker walker_;
  TMailTextDecoder headerText_;  // for encoded words in header lines
  // The id and stamp of the line being read, for the items the walker hands on.
  std::string_view msgUidl_;
  std::string_view runStamp_;
  const TextLineSink takeTextLine_;
};

}  // namespace vexalo
