#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "jconv/JisConv.h"
#include "jconv/MailCharset.h"
#include "jconv/MailTextDecoder.h"
#include "mail/MimeHeader.h"
#include "mail/MimeWalker.h"
#include "mail/TextLineSink.h"

namespace vexalo {

// The items one message may give: with the run stamp and the id, a row of the
// most cells a line of AllData.csv loads back into.
inline constexpr int kMaxItemsPerMessage = 65536 - 2;

// What a run reads messages by, fixed for the whole run.
struct MessageRules {
  std::string triggerLine;  // the header line that picks a message
  std::string separator;    // between an item's name and its value
};

// What one message gave: whether its header held the trigger line, and its
// items in body order (names and values side by side, commas made
// full-width, at most kMaxItemsPerMessage).
struct ParsedMessage {
  bool picked = false;
  std::vector<std::string> names;
  std::vector<std::string> values;
  // False for a picked message whose body held no text to read (a multipart
  // without a text part, or with it nested past what is walked, or a text in
  // UTF-16 or UTF-32), or whose items went past kMaxItemsPerMessage: its row
  // would not be what it said.
  bool readable = true;
  // Of a picked message: the MD5 (hex) of the header lines as read, each with
  // CR LF, up to kMostDigestedHeaderBytes: what tells this mail from another
  // with its id. Empty for a message not picked.
  std::string headerDigest;
  // The indexes, ascending, of the items read from a line without the
  // separator (a blank line is one): a column of their own when columns go by
  // position, no item at all when they go by name.
  std::vector<size_t> bareLines;
};

inline constexpr size_t kMostDigestedHeaderBytes = 64 * 1024;

// Turns the lines of one message into its items.
//
// In the header it notes the declared charset and the fields that say how
// the body is built, and whether a line equals the trigger line; the first
// empty line ends the header (a line of blanks only is folding inside it).
// For a message that carried the trigger line, the text of its body is found
// and decoded to CP932 line by line (see TMimeWalker: the body itself, or the
// first plain-text part of a multipart, else its first HTML part made text;
// transfer encodings undone; any charset iconv knows). Every line of that
// text has its commas made full-width and is split at the separator or its
// full-width form, whichever comes first (see SplitAtToken), into an item's
// name and value (so a "," separator splits at the first comma); a line named "%" is a comment.
// Items past kMaxItemsPerMessage are left out, so that the row reads back from AllData.csv as it
// was taken.
//
// The parser knows nothing of the table: what it found is handed back by
// Finish. Nothing is reported; nothing is raised for any input.
class TMessageParser {
 public:
  explicit TMessageParser(const TJisConv& jisConv);
  TMessageParser(const TMessageParser&) = delete;
  TMessageParser& operator=(const TMessageParser&) = delete;

  // The rules every message after this call is read by.
  void SetRules(MessageRules rules) { rules_ = std::move(rules); }

  // One line of the message being read: no line end, a leading doubled dot
  // already undone.
  //
  // The header fields count with their continuation lines (lines that start
  // with a blank or a tab right after them); when one is present twice the
  // last one wins. The trigger line is compared whole, ASCII letters without
  // regard to case, line by line: a folded trigger line never matches. A line
  // that holds encoded words (=?charset?B?…?=) is compared decoded as well,
  // so an encoded Subject can serve as the trigger line.
  void Line(std::string_view line);

  // Whether the header read so far held the trigger line.
  bool Picked() const { return message_.picked; }
  // Whether the message is still in its header.
  bool InHeader() const { return inHeader_; }
  // The charset the message's own Content-Type header declares.
  CharsetMode Charset() const { return charset_; }

  // The end of the message: items its last lines left unfinished (the last
  // line of a base64 text without a line end, HTML held back while a plain
  // text could still follow) are taken, and what the message gave is
  // returned. The parser is ready for the next message.
  ParsedMessage Finish();

  // The CharsetMode for a Content-Type header (its name, the colon and the
  // value, continuation lines appended as they stand), by the value of its
  // `charset` parameter wherever it stands among the parameters (name in any
  // case, one pair of double quotes removed, trimmed): see CharsetModeOf.
  static CharsetMode DetectCharset(std::string_view contentTypeText);

 private:
  void HeaderLine(std::string_view line);
  bool IsTriggerLine(std::string_view line);
  void TakeTextLine(std::string_view text);
  void AddItem(std::string_view text);

  MessageRules rules_;
  bool inHeader_ = true;
  CharsetMode charset_ = csOther;
  ParsedMessage message_;
  TMimeHeaderReader header_;
  TMimeWalker walker_;
  TMailTextDecoder headerText_;  // for encoded words in header lines
  std::string headerBytes_;      // what the digest is made of
  const TextLineSink takeTextLine_;
};

}  // namespace vexalo
