#include "mail/PartText.h"

namespace vexalo {

void TPartText::Start(const MimePartInfo& part, bool html) {
  transfer_.Start(part.encoding);
  isAsIs_ = part.encoding == teAsIs;
  charset_.Start(part.charset);
  html_.Reset();
  isHtml_ = html;
}

void TPartText::Line(std::string_view line, const TextLineSink& sink) {
  // Most order mail comes as it is; its lines need no trip through the decoder.
  if (isAsIs_) {
    DecodedLine(line, sink);
  } else {
    transfer_.Line(line, [&](std::string_view decoded) { DecodedLine(decoded, sink); });
  }
}

void TPartText::Finish(const TextLineSink& sink) {
  transfer_.Finish([&](std::string_view decoded) { DecodedLine(decoded, sink); });
  if (isHtml_) html_.Finish(sink);
}

void TPartText::DecodedLine(std::string_view line, const TextLineSink& sink) {
  charset_.DecodeLine(line, text_);
  if (isHtml_) {
    html_.Line(text_, sink);
  } else {
    sink(text_);
  }
}

}  // namespace vexalo
