#pragma once

#include <string>
#include <string_view>

#include "mail/Base64Stream.h"
#include "mail/MimeHeader.h"
#include "mail/TextLineSink.h"

namespace vexalo {

// Undoes the transfer encoding of one body, fed the body's lines as they
// come, and hands on the lines of the text they carry.
//
// base64: the characters of every line are decoded (others skipped) and the
// bytes cut into lines at LF, a CR before it dropped. quoted-printable: each
// line decoded; a soft line break joins it to the next; encoded line ends
// (=0D=0A) end lines too. Anything else: every line as it is. Only the one
// unfinished line is held, and that up to kMaxDecodedLineBytes.
class TTransferDecoder {
 public:
  void Start(TransferEncoding encoding);
  void Line(std::string_view line, const TextLineSink& sink);
  // The end of the body: hands on an unfinished last line.
  void Finish(const TextLineSink& sink);

 private:
  // Hands on the lines the held bytes complete; those before `seen` hold no
  // line end.
  void HandOnWholeLines(size_t seen, const TextLineSink& sink);
  void CapHeldLine(const TextLineSink& sink);

  TransferEncoding encoding_ = teAsIs;
  Base64Stream base64_;
  // Decoded bytes after the last line end handed on.
  std::string held_;
  // The held line reached its cap: the rest of it, up to its line end, is
  // dropped.
  bool overlong_ = false;
};

}  // namespace vexalo
