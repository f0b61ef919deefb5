#pragma once

#include <array>
#include <cstdint>

#include "cipher/BlockCipher.h"

namespace vexalo {

// Twofish with a 128-bit block, as published by its designers, for keys of 8
// to 256 bits in whole bytes: a key of up to 128 bits is zero-padded to a
// 128-bit key, up to 192 bits to a 192-bit key, else to 256 bits.
// Algorithm() "Twofish", BlockSize() 128, MaxKeySize() 256.
//
// Errors (std::runtime_error): "Twofish: Not initialized" from the block and
// mode operations while unkeyed; "Twofish: Invalid key size - <bits>" from
// InitKey for a size <= 0, > 256, not a multiple of 8, or larger than the key
// bytes given.
class TTwofishCipher final : public TBlockCipher {
 public:
  TTwofishCipher();
  ~TTwofishCipher() override;

  void InitKey(std::span<const std::uint8_t> key, int sizeBits,
               std::span<const std::uint8_t> iv) override;
  void WipeKey() override;
  void ResetChain() override;
  void EncryptBlock(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) override;
  void DecryptBlock(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) override;
  void EncryptCbc(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) override;
  void DecryptCbc(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) override;
  void EncryptCfb8(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) override;
  void DecryptCfb8(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) override;

 private:
  static constexpr std::size_t kBlockBytes = 16;
  using Block = std::array<std::uint8_t, kBlockBytes>;

  void RequireKey() const;
  std::uint32_t G(std::uint32_t x) const;
  void EncryptOne(const std::uint8_t* in, std::uint8_t* out) const;
  void DecryptOne(const std::uint8_t* in, std::uint8_t* out) const;
  void Cfb8(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, bool encrypting);

  int keyLength_ = 0;  // effective key length in bits: 128, 192 or 256
  std::array<std::uint32_t, 40> subKeys_{};
  std::array<std::array<std::uint32_t, 256>, 4> sBoxes_{};  // key-dependent, MDS folded in
};

}  // namespace vexalo
