#include "cipher/Sha1Hash.h"

#include <algorithm>
#include <stdexcept>

#include "cipher/SecureWipe.h"

namespace vexalo {
namespace {

constexpr std::uint32_t Rol(std::uint32_t value, int bits) {
  return (value << bits) | (value >> (32 - bits));
}

void ThrowNotInitialized() { throw std::runtime_error("SHA1: Not initialized"); }

}  // namespace

TSha1Hash::TSha1Hash() : THashAlgorithm("SHA1", 160) {}

TSha1Hash::~TSha1Hash() {
  if (initialized_) HashWipe();
}

void TSha1Hash::HashStart() {
  HashWipe();
  chain_ = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
  bitCount_ = 0;
  bufferFill_ = 0;
  initialized_ = true;
}

void TSha1Hash::HashWipe() {
  SecureWipe(chain_.data(), sizeof(chain_));
  SecureWipe(&bitCount_, sizeof(bitCount_));
  SecureWipe(buffer_.data(), buffer_.size());
  bufferFill_ = 0;
  initialized_ = false;
}

void TSha1Hash::HashUpdate(std::span<const std::uint8_t> bytes) {
  if (!initialized_) ThrowNotInitialized();
  bitCount_ += static_cast<std::uint64_t>(bytes.size()) * 8;
  while (!bytes.empty()) {
    const std::size_t take = std::min(bytes.size(), buffer_.size() - bufferFill_);
    std::copy_n(bytes.begin(), take, buffer_.begin() + bufferFill_);
    bufferFill_ += take;
    bytes = bytes.subspan(take);
    if (bufferFill_ == buffer_.size()) CompressBuffer();
  }
}

void TSha1Hash::HashFinish(std::span<std::uint8_t> digest) {
  if (!initialized_) ThrowNotInitialized();
  if (digest.size() < static_cast<std::size_t>(HashSize() / 8)) {
    throw std::invalid_argument("SHA1: Digest buffer too small");
  }
  // The buffer holds 0xFF left over from the last wipe, so the padding is
  // written out in full rather than assumed.
  buffer_[bufferFill_++] = 0x80;
  if (bufferFill_ > 56) {
    std::fill(buffer_.begin() + bufferFill_, buffer_.end(), 0);
    CompressBuffer();
  }
  std::fill(buffer_.begin() + bufferFill_, buffer_.begin() + 56, 0);
  for (int i = 0; i < 8; ++i) {
    buffer_[56 + i] = static_cast<std::uint8_t>(bitCount_ >> (56 - 8 * i));
  }
  CompressBuffer();
  for (std::size_t word = 0; word < chain_.size(); ++word) {
    for (int i = 0; i < 4; ++i) {
      digest[word * 4 + i] = static_cast<std::uint8_t>(chain_[word] >> (24 - 8 * i));
    }
  }
  HashWipe();
}

// Compresses the full 64-byte buffer into the chain, then clears the buffer
// and the message schedule so no message bytes stay behind.
void TSha1Hash::CompressBuffer() {
  std::array<std::uint32_t, 16> w;
  for (std::size_t i = 0; i < 16; ++i) {
    w[i] = (std::uint32_t{buffer_[4 * i]} << 24) | (std::uint32_t{buffer_[4 * i + 1]} << 16) |
           (std::uint32_t{buffer_[4 * i + 2]} << 8) | std::uint32_t{buffer_[4 * i + 3]};
  }
  std::uint32_t a = chain_[0], b = chain_[1], c = chain_[2], d = chain_[3], e = chain_[4];
  for (int t = 0; t < 80; ++t) {
    if (t >= 16) {
      w[t & 15] = Rol(w[(t + 13) & 15] ^ w[(t + 8) & 15] ^ w[(t + 2) & 15] ^ w[t & 15], 1);
    }
    std::uint32_t f, k;
    if (t < 20) {
      f = (b & c) | (~b & d);
      k = 0x5A827999;
    } else if (t < 40) {
      f = b ^ c ^ d;
      k = 0x6ED9EBA1;
    } else if (t < 60) {
      f = (b & c) | (b & d) | (c & d);
      k = 0x8F1BBCDC;
    } else {
      f = b ^ c ^ d;
      k = 0xCA62C1D6;
    }
    const std::uint32_t temp = Rol(a, 5) + f + e + k + w[t & 15];
    e = d;
    d = c;
    c = Rol(b, 30);
    b = a;
    a = temp;
  }
  chain_[0] += a;
  chain_[1] += b;
  chain_[2] += c;
  chain_[3] += d;
  chain_[4] += e;
  SecureWipe(w.data(), sizeof(w));
  SecureWipe(buffer_.data(), buffer_.size());
  bufferFill_ = 0;
}

}  // namespace vexalo
