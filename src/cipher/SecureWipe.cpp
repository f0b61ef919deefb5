#include "cipher/SecureWipe.h"

#include <cstdint>

namespace vexalo {

void SecureWipe(void* data, std::size_t size) noexcept {
  volatile std::uint8_t* bytes = static_cast<volatile std::uint8_t*>(data);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = 0xFF;
}

}  // namespace vexalo
