#pragma once

#include <string>
#include <string_view>

#include "jconv/JisConv.h"
#include "jconv/MailTextDecoder.h"
#include "mail/HtmlText.h"
#include "mail/MimeHeader.h"
#include "mail/TextLineSink.h"
#include "mail/TransferDecoder.h"

namespace vexalo {

// The text of one body or part as CP932 lines, from its raw lines: the
// transfer encoding undone, the charset turned into CP932, and HTML, when
// asked for, turned into the text a reader sees.
class TPartText {
 public:
  explicit TPartText(const TJisConv& jisConv) : charset_(jisConv) {}

  void Start(const MimePartInfo& part, bool html);
  void Line(std::string_view line, const TextLineSink& sink);
  // The end of the part: hands on what its last lines left unfinished.
  void Finish(const TextLineSink& sink);

 private:
  void DecodedLine(std::string_view line, const TextLineSink& sink);

  TTransferDecoder transfer_;
  TMailTextDecoder charset_;
  THtmlToText html_;
  bool isHtml_ = false;
  bool isAsIs_ = true;  // no transfer encoding
  std::string text_;    // the line last decoded, its memory kept for the next
};

}  // namespace vexalo
