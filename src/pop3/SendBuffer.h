#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace vexalo {

// One block of the socket's send queue: a fixed-size byte block that is
// filled at its end and drained from its front.
class TBuffer {
 public:
  static constexpr std::int32_t kDefaultSize = 1514;

  // A size of 0 or less gives kDefaultSize.
  explicit TBuffer(std::int32_t size);

  // Stores as many of the `count` bytes as fit behind those already stored;
  // returns how many it stored.
  std::int32_t Write(const char* data, std::int32_t count);

  // The stored bytes not yet removed.
  std::string_view Peek() const;

  // Drops up to `count` bytes from the front of Peek(). Once everything
  // stored is gone the block is empty again and takes a full size of bytes.
  void Remove(std::int32_t count);

 private:
  std::vector<char> data_;
  std::int32_t writeCount_ = 0;
  std::int32_t readCount_ = 0;
};

}  // namespace vexalo
