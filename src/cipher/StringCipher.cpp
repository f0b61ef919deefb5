#include "cipher/StringCipher.h"

#include <cstdint>

#include "cipher/Base64.h"
#include "cipher/TwofishCipher.h"

namespace vexalo {
namespace {

std::span<std::uint8_t> BytesOf(std::string& text) {
  return {reinterpret_cast<std::uint8_t*>(text.data()), text.size()};
}

}  // namespace

// Each call keys a cipher of its own: its destructor wipes the key on every
// way out, a failed decoding included.
std::string EncryptText(std::string_view plaintext, std::string_view passphrase) {
  TTwofishCipher cipher;
  cipher.InitKeyFromText(passphrase);
  std::string bytes(plaintext);
  cipher.EncryptCfb8(BytesOf(bytes), BytesOf(bytes));
  std::string stored = Base64Encode(bytes);
  cipher.ResetChain();
  cipher.WipeKey();
  return stored;
}

std::string DecryptText(std::string_view stored, std::string_view passphrase) {
  TTwofishCipher cipher;
  cipher.InitKeyFromText(passphrase);
  std::string bytes = Base64Decode(stored);
  cipher.DecryptCfb8(BytesOf(bytes), BytesOf(bytes));
  cipher.ResetChain();
  cipher.WipeKey();
  return bytes;
}

}  // namespace vexalo
