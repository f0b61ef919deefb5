#pragma once

#include <string>
#include <string_view>

namespace vexalo {

// The reversible protection of the stored password: Twofish in 8-bit cipher
// feedback under the SHA-1 digest of `passphrase` as a 160-bit key, the IV
// being the encryption of an all-0xFF block, and the cipher bytes as Base64.
// The same input always gives the same text, of 4 * ceil(n / 3) characters
// for n bytes; the key is wiped before either function returns or raises.

// Never raises on content: any bytes, including 0x00 and 0x80-0xFF, go in.
std::string EncryptText(std::string_view plaintext, std::string_view passphrase);

// Raises std::runtime_error("Base64: Incorrect string format") when the
// length of `stored` is not a multiple of 4. Valid text of the wrong bytes
// (edited by hand, other passphrase) gives wrong bytes of the same length.
std::string DecryptText(std::string_view stored, std::string_view passphrase);

}  // namespace vexalo
