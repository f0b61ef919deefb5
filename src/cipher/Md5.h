#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "cipher/HashAlgorithm.h"

namespace vexalo {

// MD5 as published in RFC 1321: Algorithm() "MD5", HashSize() 128. The
// program uses it only for the APOP login, where the digest of the server's
// timestamp and the password proves the password without sending it.
// Errors: "MD5: Not initialized" from HashUpdate / HashFinish before
// HashStart or after HashFinish.
class TMd5Hash final : public THashAlgorithm {
 public:
  TMd5Hash();
  ~TMd5Hash() override;

  void HashStart() override;
  void HashWipe() override;
  void HashUpdate(std::span<const std::uint8_t> bytes) override;
  void HashFinish(std::span<std::uint8_t> digest) override;

 private:
  void CompressBuffer();

  bool initialized_ = false;
  std::array<std::uint32_t, 4> chain_{};
  std::uint64_t bitCount_ = 0;
  std::array<std::uint8_t, 64> buffer_{};
  std::size_t bufferFill_ = 0;
};

// The MD5 digest of `bytes` as 32 lower-case hexadecimal digits, the form
// APOP sends.
std::string Md5Hex(std::string_view bytes);

}  // namespace vexalo
