#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>

#include "cipher/HashAlgorithm.h"

namespace vexalo {

// Common part of the digests that work on 64-byte blocks and close the
// message with 0x80, zero bytes and the message length in bits as a 64-bit
// number (MD5, SHA-1). It buffers the input, pads, wipes and keeps the
// started state; a concrete digest gives only its initial chain values, its
// byte order and its compression function.
//
// Errors are those of THashAlgorithm: "<Algorithm>: Not initialized"
// (std::runtime_error) from HashUpdate / HashFinish before HashStart or after
// HashFinish, and "<Algorithm>: Digest buffer too small"
// (std::invalid_argument) from HashFinish. Every wipe, including the one on
// destruction of a started object, overwrites chain, length and buffer with
// 0xFF.
class TBlockHash64 : public THashAlgorithm {
 public:
  ~TBlockHash64() override;

  void HashStart() final;
  void HashWipe() final;
  void HashUpdate(std::span<const std::uint8_t> bytes) final;
  void HashFinish(std::span<std::uint8_t> digest) final;

 protected:
  static constexpr std::size_t kMaxChainWords = 5;

  // How the message words, the length field and the digest words are laid
  // out in bytes.
  enum class ByteOrder { kLittleEndian, kBigEndian };

  // `initialChain` must outlive the object (a constant of the concrete
  // digest); its length in 32-bit words sets HashSize().
  template <std::size_t ChainWords>
  requires(ChainWords > 0 && ChainWords <= kMaxChainWords)
      TBlockHash64(std::string algorithm, const std::array<std::uint32_t, ChainWords>& initialChain,
                   ByteOrder byteOrder)
      : THashAlgorithm(std::move(algorithm), 32 * ChainWords),
        initialChain_(initialChain),
        byteOrder_(byteOrder) {}

  // Folds one block, already read into 16 words in the digest's byte order,
  // into `chain` (HashSize() / 32 words). `words` may serve as scratch space;
  // the caller wipes it afterwards.
  virtual void Compress(std::array<std::uint32_t, 16>& words,
                        std::span<std::uint32_t> chain) const = 0;

 private:
  static constexpr std::size_t kBlockBytes = 64;
  static constexpr std::size_t kLengthAt = kBlockBytes - 8;

  // Shift that brings byte `index` of a `width`-byte number to the bottom.
  int ShiftOfByte(std::size_t index, std::size_t width) const;
  void CompressBuffer();

  const std::span<const std::uint32_t> initialChain_;
  const ByteOrder byteOrder_;
  bool initialized_ = false;
  std::array<std::uint32_t, kMaxChainWords> chain_{};
  std::uint64_t bitCount_ = 0;
  std::array<std::uint8_t, kBlockBytes> buffer_{};
  std::size_t bufferFill_ = 0;
};

}  // namespace vexalo
