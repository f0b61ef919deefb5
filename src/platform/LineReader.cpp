#include "platform/LineReader.h"

#include <cstring>

#include "text/ByteScan.h"

namespace vexalo {

namespace {

constexpr char kCr = '\r';
constexpr char kLf = '\n';
constexpr char kEndOfFile = '\x1a';

}  // namespace

LineReader::LineReader(PosixFile& file) : file_(file), buffer_(kPieceSize) {}

bool LineReader::Refill() {
  if (fileDone_) return false;
  if (begin_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  // A line longer than the buffer doubles it; the file's size bounds that.
  if (end_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);
  const size_t got = file_.Read(buffer_.data() + end_, buffer_.size() - end_);
  if (got == 0) {
    fileDone_ = true;
    return false;
  }
  end_ += got;
  readTotal_ += static_cast<long long>(got);
  return true;
}

bool LineReader::AtEnd() {
  while (true) {
    if (begin_ == end_ && !Refill()) return true;
    if (!skipLf_) break;
    skipLf_ = false;
    if (buffer_[begin_] == kLf) ++begin_;
  }
  // A mark alone after the last line: the end if nothing follows it.
  if (buffer_[begin_] == kEndOfFile && begin_ + 1 == end_ && !Refill()) {
    begin_ = end_;
    endMarkSkipped_ = true;
    return true;
  }
  return false;
}

long long LineReader::Consumed() const {
  return readTotal_ - static_cast<long long>(end_ - begin_) - (endMarkSkipped_ ? 1 : 0);
}

std::string_view LineReader::Blanked(size_t begin, size_t end) {
  ReplaceEvery(buffer_.data() + begin, buffer_.data() + end, kEndOfFile, ' ');
  return {buffer_.data() + begin, end - begin};
}

std::string_view LineReader::ReadLine() {
  if (AtEnd()) return {};
  size_t scanned = begin_;
  while (true) {
    const std::string_view bytes(buffer_.data(), end_);
    const size_t stop = FindAnyOf(bytes, scanned, kCr, kLf, kLf);
    if (stop < end_) {
      const size_t lineBegin = begin_;
      begin_ = stop + 1;
      skipLf_ = bytes[stop] == kCr;
      return Blanked(lineBegin, stop);
    }
    scanned = end_ - begin_;  // where the search goes on once the bytes have moved
    if (!Refill()) {
      const size_t lineBegin = begin_;
      size_t lineEnd = end_;
      begin_ = end_;
      if (lineEnd > lineBegin && buffer_[lineEnd - 1] == kEndOfFile) {
        --lineEnd;
        endMarkSkipped_ = true;
      }
      return Blanked(lineBegin, lineEnd);
    }
    scanned += begin_;
  }
}

}  // namespace vexalo
