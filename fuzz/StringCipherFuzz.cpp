// Stored password texts from a settings file anyone may have edited: Base64
// decoding and the decryption behind it either give text or raise, and what
// decodes encodes back to the same bytes.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "cipher/Base64.h"
#include "cipher/StringCipher.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    const std::string bytes = vexalo::Base64Decode(text);
    if (vexalo::Base64Decode(vexalo::Base64Encode(bytes)) != bytes) __builtin_trap();
  } catch (const std::exception&) {
  }
  try {
    vexalo::DecryptText(text, "passphrase");
  } catch (const std::exception&) {
  }
  return 0;
}
