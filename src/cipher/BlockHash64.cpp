#include "cipher/BlockHash64.h"

#include <algorithm>
#include <stdexcept>

#include "cipher/SecureWipe.h"

namespace vexalo {

TBlockHash64::~TBlockHash64() {
  if (initialized_) HashWipe();
}

void TBlockHash64::HashStart() {
  HashWipe();
  std::copy(initialChain_.begin(), initialChain_.end(), chain_.begin());
  bitCount_ = 0;
  bufferFill_ = 0;
  initialized_ = true;
}

void TBlockHash64::HashWipe() {
  SecureWipe(chain_.data(), sizeof(chain_));
  SecureWipe(&bitCount_, sizeof(bitCount_));
  SecureWipe(buffer_.data(), buffer_.size());
  bufferFill_ = 0;
  initialized_ = false;
}

void TBlockHash64::HashUpdate(std::span<const std::uint8_t> bytes) {
  if (!initialized_) throw std::runtime_error(Algorithm() + ": Not initialized");
  bitCount_ += static_cast<std::uint64_t>(bytes.size()) * 8;
  while (!bytes.empty()) {
    const std::size_t take = std::min(bytes.size(), buffer_.size() - bufferFill_);
    std::copy_n(bytes.begin(), take, buffer_.begin() + bufferFill_);
    bufferFill_ += take;
    bytes = bytes.subspan(take);
    if (bufferFill_ == buffer_.size()) CompressBuffer();
  }
}

void TBlockHash64::HashFinish(std::span<std::uint8_t> digest) {
  if (!initialized_) throw std::runtime_error(Algorithm() + ": Not initialized");
  if (digest.size() < static_cast<std::size_t>(HashSize() / 8)) {
    throw std::invalid_argument(Algorithm() + ": Digest buffer too small");
  }
  // The buffer holds 0xFF left over from the last wipe, so the padding is
  // written out in full rather than assumed.
  buffer_[bufferFill_++] = 0x80;
  if (bufferFill_ > kLengthAt) {
    std::fill(buffer_.begin() + bufferFill_, buffer_.end(), 0);
    CompressBuffer();
  }
  std::fill(buffer_.begin() + bufferFill_, buffer_.begin() + kLengthAt, 0);
  for (std::size_t i = 0; i < 8; ++i) {
    buffer_[kLengthAt + i] = static_cast<std::uint8_t>(bitCount_ >> ShiftOfByte(i, 8));
  }
  CompressBuffer();
  for (std::size_t word = 0; word < initialChain_.size(); ++word) {
    for (std::size_t i = 0; i < 4; ++i) {
      digest[word * 4 + i] = static_cast<std::uint8_t>(chain_[word] >> ShiftOfByte(i, 4));
    }
  }
  HashWipe();
}

int TBlockHash64::ShiftOfByte(std::size_t index, std::size_t width) const {
  return static_cast<int>(8 * (byteOrder_ == ByteOrder::kLittleEndian ? index : width - 1 - index));
}

// Compresses the full buffer into the chain, then clears the buffer and the
// message words so no message bytes stay behind.
void TBlockHash64::CompressBuffer() {
  std::array<std::uint32_t, 16> words;
  for (std::size_t word = 0; word < words.size(); ++word) {
    words[word] = 0;
    for (std::size_t i = 0; i < 4; ++i) {
      words[word] |= std::uint32_t{buffer_[4 * word + i]} << ShiftOfByte(i, 4);
    }
  }
  Compress(words, std::span(chain_).first(initialChain_.size()));
  SecureWipe(words.data(), sizeof(words));
  SecureWipe(buffer_.data(), buffer_.size());
  bufferFill_ = 0;
}

}  // namespace vexalo
