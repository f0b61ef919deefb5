#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "jconv/IconvText.h"
#include "jconv/JisConv.h"
#include "jconv/MailCharset.h"

namespace vexalo {

// Turns the lines of one text (a message body, a MIME part, an encoded word)
// from the charset it declares into CP932, one line at a time.
//
// ISO-2022-JP and EUC-JP lines go through TJisConv as they always have, and
// Shift-JIS lines are kept as they are, so mail in those charsets gives the
// same bytes as before. A line of ISO-2022-JP-1, -2, -3 or -2004 text that
// designates a set TJisConv does not know (JIS X 0212, JIS X 0213, …) goes
// through iconv's ISO-2022-JP-2 or ISO-2022-JP-3 instead. UTF-8 goes through our own table, other
// charsets through iconv into UTF-8 and then that table; a character CP932 lacks, or a byte the
// charset does not allow, becomes the geta mark.
//
// Text without a usable charset is looked at line by line: a line with an
// ISO-2022-JP designation (ESC $ B, ESC $ @, ESC ( I) is read as
// ISO-2022-JP, else a line of well-formed UTF-8 with a non-ASCII character as
// UTF-8, else it is kept as it is.
//
// A UTF-8 byte-order mark at the very start of the text is dropped. Raw
// UTF-8 under an ISO-2022-JP label (a line of 8-bit bytes without any
// designation) is read as UTF-8. Whatever is taken as it stands is repaired
// into well-formed CP932 (see RepairCp932), so every line given back is.
class TMailTextDecoder {
 public:
  explicit TMailTextDecoder(const TJisConv& jisConv) : jisConv_(jisConv) {}

  // A new text in the charset named by `charsetName` (as the charset
  // parameter gives it; empty when there is none).
  void Start(std::string_view charsetName);
  CharsetMode Mode() const { return mode_; }

  // One line of the text, without its line end.
  std::string DecodeLine(std::string_view line);
  // The same into `text`, replacing what it held; the ISO-2022-JP, EUC-JP,
  // Shift-JIS and UTF-8 lines reuse its memory, so a caller decoding line
  // after line into one string allocates next to nothing. `line` must not
  // lie in `text`.
  void DecodeLine(std::string_view line, std::string& text);

 private:
  std::string DecodeUtf8(std::string_view line) const;
  std::string DecodeUndeclared(std::string_view line) const;
  void DecodeIso2022Jp(std::string_view line, std::string& text);
  std::string DecodeThroughIconv(const std::string& charset, std::string_view line);

  const TJisConv& jisConv_;
  CharsetMode mode_ = csOther;
  bool atStart_ = true;
  // The iconv charset for csIconv, or for the extended sets of an
  // ISO-2022-JP variant; empty when there is none.
  std::string iconvCharset_;
  // The descriptor last opened and its charset, kept while texts in the same
  // charset follow one another.
  std::string openCharset_;
  std::unique_ptr<IconvHandle> iconv_;
};

}  // namespace vexalo
