#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vexalo {

// Overwrites `size` bytes at `data` with 0xFF. The stores are followed by a
// compiler barrier that claims to read the memory, in a function of its own,
// so the compiler cannot drop them as dead even when the memory is released
// right afterwards. Used for every buffer that held key material or hash
// state.
void SecureWipe(void* data, std::size_t size) noexcept;

// A heap buffer for key material that is wiped on every way out of its scope.
class WipedBuffer {
 public:
  explicit WipedBuffer(std::size_t size) : bytes_(size) {}
  ~WipedBuffer() { SecureWipe(bytes_.data(), bytes_.size()); }
  WipedBuffer(const WipedBuffer&) = delete;
  WipedBuffer& operator=(const WipedBuffer&) = delete;

  std::span<std::uint8_t> Bytes() { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

}  // namespace vexalo
