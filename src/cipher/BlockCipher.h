#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vexalo {

// Base of the block ciphers. Calling order: InitKey or InitKeyFromText, then
// any number of block or mode operations, then ResetChain and WipeKey.
//
// Every operation on data raises std::runtime_error("<Algorithm>: Not
// initialized") while no key is set. Input and output of the block and mode
// operations may be the very same buffer, but must not overlap otherwise; an
// output shorter than its input, or a block operation given less than one
// block, raises std::invalid_argument.
class TBlockCipher {
 public:
  virtual ~TBlockCipher() = default;
  TBlockCipher(const TBlockCipher&) = delete;
  TBlockCipher& operator=(const TBlockCipher&) = delete;

  // Read-only properties: the setters accept a value and ignore it, so the
  // values always stay those of the concrete class.
  const std::string& Algorithm() const { return algorithm_; }
  void SetAlgorithm(std::string_view /*ignored*/) {}
  int BlockSize() const { return blockSizeBits_; }  // in bits
  void SetBlockSize(int /*ignored*/) {}
  int MaxKeySize() const { return maxKeySizeBits_; }  // in bits
  void SetMaxKeySize(int /*ignored*/) {}

  bool Initialized() const { return initialized_; }

  // Keys the cipher with the first sizeBits / 8 bytes of `key` (wiping any
  // earlier key first). An empty `iv` makes the IV the encryption of an
  // all-0xFF block under the new key; otherwise `iv` must be one block. The
  // chaining register starts at the IV. Raises on a size the cipher does not
  // take, or when `key` holds fewer than sizeBits / 8 bytes.
  virtual void InitKey(std::span<const std::uint8_t> key, int sizeBits,
                       std::span<const std::uint8_t> iv) = 0;
  // Overwrites key schedule, IV and chaining register with 0xFF; not keyed.
  virtual void WipeKey() = 0;
  // Puts the IV back into the chaining register.
  virtual void ResetChain() = 0;
  // One block from the front of `in` to the front of `out`.
  virtual void EncryptBlock(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) = 0;
  virtual void DecryptBlock(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) = 0;
  // Cipher-block chaining over in.size() bytes; a final partial block is
  // XORed with the encrypted register and does not advance it.
  virtual void EncryptCbc(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) = 0;
  virtual void DecryptCbc(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) = 0;
  // 8-bit cipher feedback over in.size() bytes; the register carries over
  // from call to call until ResetChain or a new key.
  virtual void EncryptCfb8(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) = 0;
  virtual void DecryptCfb8(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) = 0;

  // Keys the cipher with the SHA-1 digest of the bytes of `text`, cut to
  // MaxKeySize() when longer, and no IV. The digest is wiped afterwards.
  void InitKeyFromText(std::string_view text);

 protected:
  TBlockCipher(std::string algorithm, int blockSizeBits, int maxKeySizeBits)
      : algorithm_(std::move(algorithm)),
        blockSizeBits_(blockSizeBits),
        maxKeySizeBits_(maxKeySizeBits),
        iv_(blockSizeBits / 8),
        chain_(blockSizeBits / 8) {}

  bool initialized_ = false;

 private:
  const std::string algorithm_;
  const int blockSizeBits_;
  const int maxKeySizeBits_;

 protected:
  std::vector<std::uint8_t> iv_;     // one block
  std::vector<std::uint8_t> chain_;  // one block: the chaining register
};

}  // namespace vexalo
