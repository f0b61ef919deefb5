#include "pop3/Pop3LineBuffer.h"

#include <algorithm>
#include <cstring>

namespace vexalo {

namespace {

constexpr size_t kMaxCapacity = Pop3LineBuffer::kMaxLineLength + 2;

}  // namespace

Pop3LineBuffer::Pop3LineBuffer() : storage_(kInitialCapacity) {}

std::span<char> Pop3LineBuffer::FreeSpace() {
  // The rest of a line moves to the front once less than half the storage is
  // left behind it, so every read gets a large piece of room: a stream of
  // short replies is then read in few calls, never a few bytes at a time.
  if (begin_ > 0 && storage_.size() - end_ < storage_.size() / 2) {
    std::memmove(storage_.data(), storage_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (end_ == storage_.size() && storage_.size() < kMaxCapacity) {
    storage_.resize(std::min(storage_.size() * 2, kMaxCapacity));
  }
  return std::span<char>(storage_.data() + end_, storage_.size() - end_);
}

void Pop3LineBuffer::Commit(size_t count) { end_ += std::min(count, storage_.size() - end_); }

std::optional<std::string_view> Pop3LineBuffer::NextLine() {
  const char* const held = storage_.data() + begin_;
  const size_t heldCount = end_ - begin_;
  // A CR seen at the very end of the last scan may be paired by the LF that
  // came after it, so the scan resumes one byte back.
  size_t at = scanned_ > 0 ? scanned_ - 1 : 0;
  while (at < heldCount) {
    const void* lf = std::memchr(held + at, '\n', heldCount - at);
    if (lf == nullptr) break;
    const size_t lfAt = static_cast<const char*>(lf) - held;
    if (lfAt > 0 && held[lfAt - 1] == '\r') {
      begin_ += lfAt + 1;
      scanned_ = 0;
      if (begin_ == end_) begin_ = end_ = 0;
      return std::string_view(held, lfAt - 1);
    }
    at = lfAt + 1;
  }
  scanned_ = heldCount;
  return std::nullopt;
}

bool Pop3LineBuffer::HoldsOverlongLine() const {
  return end_ - begin_ > Pop3LineBuffer::kMaxLineLength + 1;
}

void Pop3LineBuffer::Clear() { begin_ = end_ = scanned_ = 0; }

}  // namespace vexalo
