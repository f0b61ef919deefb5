#include "mail/TransferDecoder.h"

#include <algorithm>
#include <cstring>

#include "mail/QuotedPrintable.h"

namespace vexalo {

void TTransferDecoder::Start(TransferEncoding encoding) {
  encoding_ = encoding;
  base64_.Reset();
  held_.clear();
  overlong_ = false;
}

void TTransferDecoder::Line(std::string_view line, const TextLineSink& sink) {
  const size_t seen = held_.size();  // held bytes already searched for a line end
  switch (encoding_) {
    case teBase64:
      base64_.Decode(line, held_);
      break;
    case teQuotedPrintable:
      if (!DecodeQuotedPrintableLine(line, held_)) held_.push_back('\n');
      break;
    default:
      sink(line);
      return;
  }
  HandOnWholeLines(seen, sink);
}

void TTransferDecoder::Finish(const TextLineSink& sink) {
  if (!overlong_ && !held_.empty()) {
    std::string_view line = held_;
    if (line.back() == '\r') line.remove_suffix(1);
    sink(line);
  }
  Start(encoding_);
}

void TTransferDecoder::HandOnWholeLines(size_t seen, const TextLineSink& sink) {
  size_t start = 0;
  for (;;) {
    // A long line is built from many short ones; searching it all again for
    // each of them would cost the square of its length.
    const size_t from = std::max(start, seen);
    const void* found = std::memchr(held_.data() + from, '\n', held_.size() - from);
    if (found == nullptr) break;
    const size_t end = static_cast<size_t>(static_cast<const char*>(found) - held_.data());
    std::string_view line(held_.data() + start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (overlong_) {
      overlong_ = false;  // its first kMaxDecodedLineBytes went on already
    } else {
      sink(line.substr(0, kMaxDecodedLineBytes));
    }
    start = end + 1;
  }
  held_.erase(0, start);
  CapHeldLine(sink);
}

void TTransferDecoder::CapHeldLine(const TextLineSink& sink) {
  if (overlong_) {
    held_.clear();
  } else if (held_.size() > kMaxDecodedLineBytes) {
    sink(std::string_view(held_).substr(0, kMaxDecodedLineBytes));
    overlong_ = true;
    held_.clear();
  }
}

}  // namespace vexalo
