#pragma once

#include <array>
#include <cstdint>

#include "cipher/HashAlgorithm.h"

namespace vexalo {

// SHA-1 as published in FIPS 180-1: Algorithm() "SHA1", HashSize() 160.
// Errors: "SHA1: Not initialized" from HashUpdate / HashFinish before
// HashStart or after HashFinish.
class TSha1Hash final : public THashAlgorithm {
 public:
  TSha1Hash();
  ~TSha1Hash() override;

  void HashStart() override;
  void HashWipe() override;
  void HashUpdate(std::span<const std::uint8_t> bytes) override;
  void HashFinish(std::span<std::uint8_t> digest) override;

 private:
  void CompressBuffer();

  bool initialized_ = false;
  std::array<std::uint32_t, 5> chain_{};
  std::uint64_t bitCount_ = 0;
  std::array<std::uint8_t, 64> buffer_{};
  std::size_t bufferFill_ = 0;
};

}  // namespace vexalo
