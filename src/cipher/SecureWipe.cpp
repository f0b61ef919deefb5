#include "cipher/SecureWipe.h"

#include <cstring>

namespace vexalo {

void SecureWipe(void* data, std::size_t size) noexcept {
  if (size == 0) return;
  // A plain memset, many bytes a store (a hash wipes its block after every
  // 64 bytes it takes), kept by the barrier below.
  std::memset(data, 0xFF, size);
  asm volatile("" : : "r"(data) : "memory");
}

}  // namespace vexalo
