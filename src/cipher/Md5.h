#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "cipher/BlockHash64.h"

namespace vexalo {

// MD5 as published in RFC 1321: Algorithm() "MD5", HashSize() 128. The
// program uses it only for the APOP login, where the digest of the server's
// timestamp and the password proves the password without sending it.
// Errors: "MD5: Not initialized" from HashUpdate / HashFinish before
// HashStart or after HashFinish.
class TMd5Hash final : public TBlockHash64 {
 public:
  TMd5Hash();

 private:
  void Compress(std::array<std::uint32_t, 16>& words,
                std::span<std::uint32_t> chain) const override;
};

// The MD5 digest of `bytes` as 32 lower-case hexadecimal digits, the form
// APOP sends.
std::string Md5Hex(std::string_view bytes);

}  // namespace vexalo
