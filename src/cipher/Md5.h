#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace vexalo {

// The MD5 message digest (RFC 1321). The program uses it only for the APOP
// login, where the digest of the server's timestamp and the password proves
// the password without sending it.
class Md5 {
 public:
  using Digest = std::array<uint8_t, 16>;

  Md5();

  // Adds bytes to the message; may be called any number of times.
  void Update(std::string_view bytes);

  // Pads the message, returns its digest and leaves the object ready for a new
  // message.
  Digest Finish();

 private:
  void Reset();
  void Transform(const uint8_t* block);

  std::array<uint32_t, 4> state_;
  std::array<uint8_t, 64> pending_;  // bytes of the block not yet full
  uint64_t length_ = 0;              // message length in bytes so far
};

// The digest of `bytes` as 32 lower-case hexadecimal digits.
std::string Md5Hex(std::string_view bytes);

}  // namespace vexalo
