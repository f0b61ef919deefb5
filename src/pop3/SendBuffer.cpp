#include "pop3/SendBuffer.h"

#include <algorithm>
#include <cstring>

namespace vexalo {

TBuffer::TBuffer(std::int32_t size) : data_(size > 0 ? size : kDefaultSize) {}

std::int32_t TBuffer::Write(const char* data, std::int32_t count) {
  const auto room = static_cast<std::int32_t>(data_.size()) - writeCount_;
  const std::int32_t stored = std::clamp(count, 0, room);
  if (stored > 0) {
    std::memcpy(data_.data() + writeCount_, data, static_cast<std::size_t>(stored));
    writeCount_ += stored;
  }
  return stored;
}

std::string_view TBuffer::Peek() const {
  return {data_.data() + readCount_, static_cast<std::size_t>(writeCount_ - readCount_)};
}

void TBuffer::Remove(std::int32_t count) {
  readCount_ += std::clamp(count, 0, writeCount_ - readCount_);
  if (readCount_ == writeCount_) {
    readCount_ = 0;
    writeCount_ = 0;
  }
}

}  // namespace vexalo
