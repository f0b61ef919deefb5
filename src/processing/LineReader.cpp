#include "processing/LineReader.h"

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
  return true;
}

bool LineReader::AtEnd() {
  if (stopped_) return true;
  while (true) {
    if (begin_ == end_ && !Refill()) return true;
    if (!skipLf_) break;
    skipLf_ = false;
    if (buffer_[begin_] == kLf) ++begin_;
  }
  if (buffer_[begin_] == kEndOfFile) {
    stopped_ = true;
    return true;
  }
  return false;
}

std::string_view LineReader::ReadLine() {
  if (AtEnd()) return {};
  size_t scanned = begin_;
  while (true) {
    const std::string_view bytes(buffer_.data(), end_);
    const size_t stop = FindAnyOf(bytes, scanned, kCr, kLf, kEndOfFile);
    if (stop < end_) {
      const std::string_view line = bytes.substr(begin_, stop - begin_);
      begin_ = stop + 1;
      if (bytes[stop] == kEndOfFile) {
        stopped_ = true;
      } else if (bytes[stop] == kCr) {
        skipLf_ = true;
      }
      return line;
    }
    scanned = end_ - begin_;  // where the search goes on once the bytes have moved
    if (!Refill()) {
      const std::string_view line(buffer_.data() + begin_, end_ - begin_);
      begin_ = end_;
      return line;
    }
    scanned += begin_;
  }
}

}  // namespace vexalo
