#pragma once

#include <array>
#include <cstdint>

#include "cipher/BlockHash64.h"

namespace vexalo {

// SHA-1 as published in FIPS 180-1: Algorithm() "SHA1", HashSize() 160.
// Errors: "SHA1: Not initialized" from HashUpdate / HashFinish before
// HashStart or after HashFinish.
class TSha1Hash final : public TBlockHash64 {
 public:
  TSha1Hash();

 private:
  void Compress(std::array<std::uint32_t, 16>& words,
                std::span<std::uint32_t> chain) const override;
};

}  // namespace vexalo
