#include "cipher/TwofishCipher.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "cipher/SecureWipe.h"

namespace vexalo {
namespace {

// The fixed permutations q0 and q1, built from their four 4-bit tables.
using Nibbles = std::array<std::array<std::uint8_t, 16>, 4>;

constexpr Nibbles kQ0Nibbles = {{
    {0x8, 0x1, 0x7, 0xD, 0x6, 0xF, 0x3, 0x2, 0x0, 0xB, 0x5, 0x9, 0xE, 0xC, 0xA, 0x4},
    {0xE, 0xC, 0xB, 0x8, 0x1, 0x2, 0x3, 0x5, 0xF, 0x4, 0xA, 0x6, 0x7, 0x0, 0x9, 0xD},
    {0xB, 0xA, 0x5, 0xE, 0x6, 0xD, 0x9, 0x0, 0xC, 0x8, 0xF, 0x3, 0x2, 0x4, 0x7, 0x1},
    {0xD, 0x7, 0xF, 0x4, 0x1, 0x2, 0x6, 0xE, 0x9, 0xB, 0x3, 0x0, 0x8, 0x5, 0xC, 0xA},
}};
constexpr Nibbles kQ1Nibbles = {{
    {0x2, 0x8, 0xB, 0xD, 0xF, 0x7, 0x6, 0xE, 0x3, 0x1, 0x9, 0x4, 0x0, 0xA, 0xC, 0x5},
    {0x1, 0xE, 0x2, 0xB, 0x4, 0xC, 0x3, 0x7, 0x6, 0xD, 0xA, 0x5, 0xF, 0x9, 0x0, 0x8},
    {0x4, 0xC, 0x7, 0x5, 0x1, 0x6, 0x9, 0xA, 0x0, 0xE, 0xD, 0x8, 0x2, 0xB, 0x3, 0xF},
    {0xB, 0x9, 0x5, 0x1, 0xC, 0x3, 0xD, 0xE, 0x6, 0x4, 0x7, 0xF, 0x2, 0x0, 0x8, 0xA},
}};

constexpr std::uint8_t Ror4(std::uint8_t nibble) {
  return static_cast<std::uint8_t>(((nibble >> 1) | (nibble << 3)) & 0xF);
}

constexpr std::array<std::uint8_t, 256> MakeQ(const Nibbles& t) {
  std::array<std::uint8_t, 256> q{};
  for (int x = 0; x < 256; ++x) {
    std::uint8_t a = static_cast<std::uint8_t>(x >> 4), b = static_cast<std::uint8_t>(x & 0xF);
    for (std::size_t stage = 0; stage < 2; ++stage) {
      const std::uint8_t mixedA = a ^ b;
      const std::uint8_t mixedB = (a ^ Ror4(b) ^ (a << 3)) & 0xF;
      a = t[2 * stage][mixedA];
      b = t[2 * stage + 1][mixedB];
    }
    q[x] = static_cast<std::uint8_t>((b << 4) | a);
  }
  return q;
}

constexpr std::array<std::array<std::uint8_t, 256>, 2> kQ = {MakeQ(kQ0Nibbles), MakeQ(kQ1Nibbles)};

// Which q each byte position passes through in h: the stage used only by
// 256-bit keys, the stage used by 192- and 256-bit keys, then the three
// stages every key length uses (the last one without a key byte).
constexpr std::array<std::array<int, 5>, 4> kQChain = {{
    {1, 1, 0, 0, 1},
    {0, 1, 1, 0, 0},
    {0, 0, 0, 1, 1},
    {1, 0, 1, 1, 0},
}};

constexpr std::array<std::array<std::uint8_t, 4>, 4> kMds = {{
    {0x01, 0xEF, 0x5B, 0x5B},
    {0x5B, 0xEF, 0xEF, 0x01},
    {0xEF, 0x5B, 0x01, 0xEF},
    {0xEF, 0x01, 0xEF, 0x5B},
}};
constexpr unsigned kMdsPolynomial = 0x169;

constexpr std::array<std::array<std::uint8_t, 8>, 4> kRs = {{
    {0x01, 0xA4, 0x55, 0x87, 0x5A, 0x58, 0xDB, 0x9E},
    {0xA4, 0x56, 0x82, 0xF3, 0x1E, 0xC6, 0x68, 0xE5},
    {0x02, 0xA1, 0xFC, 0xC1, 0x47, 0xAE, 0x3D, 0x19},
    {0xA4, 0x55, 0x87, 0x5A, 0x58, 0xDB, 0x9E, 0x03},
}};
constexpr unsigned kRsPolynomial = 0x14D;

std::uint8_t GfMultiply(std::uint8_t a, std::uint8_t b, unsigned polynomial) {
  unsigned product = 0, shifted = a;
  for (; b != 0; b >>= 1) {
    if (b & 1) product ^= shifted;
    shifted <<= 1;
    if (shifted & 0x100) shifted ^= polynomial;
  }
  return static_cast<std::uint8_t>(product);
}

constexpr std::uint32_t Rol(std::uint32_t value, int bits) {
  return (value << bits) | (value >> (32 - bits));
}
constexpr std::uint32_t Ror(std::uint32_t value, int bits) {
  return (value >> bits) | (value << (32 - bits));
}
constexpr std::uint8_t ByteOf(std::uint32_t word, int index) {
  return static_cast<std::uint8_t>(word >> (8 * index));
}

std::uint32_t LoadWord(const std::uint8_t* bytes) {
  return std::uint32_t{bytes[0]} | (std::uint32_t{bytes[1]} << 8) |
         (std::uint32_t{bytes[2]} << 16) | (std::uint32_t{bytes[3]} << 24);
}
void StoreWord(std::uint32_t word, std::uint8_t* bytes) {
  for (int i = 0; i < 4; ++i) bytes[i] = ByteOf(word, i);
}

// Byte `position` of h: x through the q chain, XORed with that byte of each
// key word on the way (words = key words L0..L(k-1), k = 2, 3 or 4).
std::uint8_t KeyedPermutation(int position, std::uint8_t x, const std::uint32_t* words, int k) {
  const auto& chain = kQChain[position];
  if (k == 4) x = kQ[chain[0]][x] ^ ByteOf(words[3], position);
  if (k >= 3) x = kQ[chain[1]][x] ^ ByteOf(words[2], position);
  x = kQ[chain[2]][x] ^ ByteOf(words[1], position);
  x = kQ[chain[3]][x] ^ ByteOf(words[0], position);
  return kQ[chain[4]][x];
}

std::uint32_t MdsColumn(int column, std::uint8_t y) {
  std::uint32_t word = 0;
  for (int row = 0; row < 4; ++row) {
    word |= std::uint32_t{GfMultiply(kMds[row][column], y, kMdsPolynomial)} << (8 * row);
  }
  return word;
}

std::uint32_t H(std::uint32_t x, const std::uint32_t* words, int k) {
  std::uint32_t result = 0;
  for (int position = 0; position < 4; ++position) {
    result ^= MdsColumn(position, KeyedPermutation(position, ByteOf(x, position), words, k));
  }
  return result;
}

void RequireWholeBlocks(std::size_t inSize, std::size_t outSize, std::size_t blockBytes) {
  if (inSize < blockBytes || outSize < blockBytes) {
    throw std::invalid_argument("Twofish: A block operation needs one whole block");
  }
}

void RequireOutputFits(std::size_t inSize, std::size_t outSize) {
  if (outSize < inSize) throw std::invalid_argument("Twofish: Output shorter than input");
}

}  // namespace

TTwofishCipher::TTwofishCipher() : TBlockCipher("Twofish", 128, 256) {}

TTwofishCipher::~TTwofishCipher() {
  if (initialized_) WipeKey();
}

void TTwofishCipher::InitKey(std::span<const std::uint8_t> key, int sizeBits,
                             std::span<const std::uint8_t> iv) {
  if (initialized_) WipeKey();
  if (sizeBits <= 0 || sizeBits > MaxKeySize() || sizeBits % 8 != 0 ||
      key.size() < static_cast<std::size_t>(sizeBits / 8)) {
    throw std::runtime_error("Twofish: Invalid key size - " + std::to_string(sizeBits));
  }
  if (!iv.empty() && iv.size() != kBlockBytes) {
    throw std::invalid_argument("Twofish: The IV must be one block");
  }
  keyLength_ = sizeBits <= 128 ? 128 : sizeBits <= 192 ? 192 : 256;
  const int k = keyLength_ / 64;

  struct KeyMaterial {
    std::array<std::uint8_t, 32> bytes{};
    std::array<std::uint32_t, 4> even{}, odd{}, sBoxKey{};
    ~KeyMaterial() { SecureWipe(this, sizeof(*this)); }
  } material;
  std::copy_n(key.begin(), sizeBits / 8, material.bytes.begin());
  for (std::size_t i = 0; i < static_cast<std::size_t>(k); ++i) {
    material.even[i] = LoadWord(&material.bytes[8 * i]);
    material.odd[i] = LoadWord(&material.bytes[8 * i + 4]);
    // The S-box key words are used in the reverse order of the key groups.
    std::uint32_t word = 0;
    for (int row = 0; row < 4; ++row) {
      std::uint8_t sum = 0;
      for (int col = 0; col < 8; ++col) {
        sum ^= GfMultiply(kRs[row][col], material.bytes[8 * i + col], kRsPolynomial);
      }
      word |= std::uint32_t{sum} << (8 * row);
    }
    material.sBoxKey[static_cast<std::size_t>(k) - 1 - i] = word;
  }

  constexpr std::uint32_t kRho = 0x01010101;
  for (std::size_t i = 0; i < 20; ++i) {
    const std::uint32_t a = H(static_cast<std::uint32_t>(2 * i) * kRho, material.even.data(), k);
    const std::uint32_t b =
        Rol(H(static_cast<std::uint32_t>(2 * i + 1) * kRho, material.odd.data(), k), 8);
    subKeys_[2 * i] = a + b;
    subKeys_[2 * i + 1] = Rol(a + 2 * b, 9);
  }
  for (int position = 0; position < 4; ++position) {
    for (int x = 0; x < 256; ++x) {
      sBoxes_[position][x] = MdsColumn(
          position,
          KeyedPermutation(position, static_cast<std::uint8_t>(x), material.sBoxKey.data(), k));
    }
  }

  if (iv.empty()) {
    Block allOnes;
    allOnes.fill(0xFF);
    EncryptOne(allOnes.data(), iv_.data());
  } else {
    std::copy(iv.begin(), iv.end(), iv_.begin());
  }
  chain_ = iv_;
  initialized_ = true;
}

void TTwofishCipher::WipeKey() {
  SecureWipe(subKeys_.data(), sizeof(subKeys_));
  SecureWipe(sBoxes_.data(), sizeof(sBoxes_));
  SecureWipe(iv_.data(), iv_.size());
  SecureWipe(chain_.data(), chain_.size());
  initialized_ = false;
}

void TTwofishCipher::ResetChain() { chain_ = iv_; }

void TTwofishCipher::RequireKey() const {
  if (!initialized_) throw std::runtime_error("Twofish: Not initialized");
}

std::uint32_t TTwofishCipher::G(std::uint32_t x) const {
  return sBoxes_[0][ByteOf(x, 0)] ^ sBoxes_[1][ByteOf(x, 1)] ^ sBoxes_[2][ByteOf(x, 2)] ^
         sBoxes_[3][ByteOf(x, 3)];
}

void TTwofishCipher::EncryptOne(const std::uint8_t* in, std::uint8_t* out) const {
  std::uint32_t x[4];
  for (std::size_t i = 0; i < 4; ++i) x[i] = LoadWord(in + 4 * i) ^ subKeys_[i];
  for (int round = 0; round < 16; ++round) {
    const std::uint32_t t0 = G(x[0]);
    const std::uint32_t t1 = G(Rol(x[1], 8));
    const std::uint32_t next0 = Ror(x[2] ^ (t0 + t1 + subKeys_[2 * round + 8]), 1);
    const std::uint32_t next1 = Rol(x[3], 1) ^ (t0 + 2 * t1 + subKeys_[2 * round + 9]);
    x[2] = x[0];
    x[3] = x[1];
    x[0] = next0;
    x[1] = next1;
  }
  // The last round's swap is undone by the output order.
  for (std::size_t i = 0; i < 4; ++i) StoreWord(x[(i + 2) % 4] ^ subKeys_[i + 4], out + 4 * i);
}

void TTwofishCipher::DecryptOne(const std::uint8_t* in, std::uint8_t* out) const {
  std::uint32_t x[4];
  for (std::size_t i = 0; i < 4; ++i) x[(i + 2) % 4] = LoadWord(in + 4 * i) ^ subKeys_[i + 4];
  for (int round = 15; round >= 0; --round) {
    const std::uint32_t t0 = G(x[2]);
    const std::uint32_t t1 = G(Rol(x[3], 8));
    const std::uint32_t previous2 = Rol(x[0], 1) ^ (t0 + t1 + subKeys_[2 * round + 8]);
    const std::uint32_t previous3 = Ror(x[1] ^ (t0 + 2 * t1 + subKeys_[2 * round + 9]), 1);
    x[0] = x[2];
    x[1] = x[3];
    x[2] = previous2;
    x[3] = previous3;
  }
  for (std::size_t i = 0; i < 4; ++i) StoreWord(x[i] ^ subKeys_[i], out + 4 * i);
}

void TTwofishCipher::EncryptBlock(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
  RequireKey();
  RequireWholeBlocks(in.size(), out.size(), kBlockBytes);
  EncryptOne(in.data(), out.data());
}

void TTwofishCipher::DecryptBlock(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
  RequireKey();
  RequireWholeBlocks(in.size(), out.size(), kBlockBytes);
  DecryptOne(in.data(), out.data());
}

void TTwofishCipher::EncryptCbc(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
  RequireKey();
  RequireOutputFits(in.size(), out.size());
  const std::size_t whole = in.size() - in.size() % kBlockBytes;
  Block block;
  for (std::size_t at = 0; at < whole; at += kBlockBytes) {
    for (std::size_t i = 0; i < kBlockBytes; ++i) block[i] = in[at + i] ^ chain_[i];
    EncryptOne(block.data(), chain_.data());
    std::copy(chain_.begin(), chain_.end(), out.subspan(at).begin());
  }
  if (whole < in.size()) {
    EncryptOne(chain_.data(), block.data());
    for (std::size_t i = whole; i < in.size(); ++i) out[i] = in[i] ^ block[i - whole];
  }
  SecureWipe(block.data(), block.size());
}

void TTwofishCipher::DecryptCbc(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
  RequireKey();
  RequireOutputFits(in.size(), out.size());
  const std::size_t whole = in.size() - in.size() % kBlockBytes;
  Block cipherBlock, plainBlock;
  for (std::size_t at = 0; at < whole; at += kBlockBytes) {
    std::copy_n(in.subspan(at).begin(), kBlockBytes, cipherBlock.begin());
    DecryptOne(cipherBlock.data(), plainBlock.data());
    for (std::size_t i = 0; i < kBlockBytes; ++i) out[at + i] = plainBlock[i] ^ chain_[i];
    std::copy(cipherBlock.begin(), cipherBlock.end(), chain_.begin());
  }
  if (whole < in.size()) {
    EncryptOne(chain_.data(), plainBlock.data());
    for (std::size_t i = whole; i < in.size(); ++i) out[i] = in[i] ^ plainBlock[i - whole];
  }
  SecureWipe(plainBlock.data(), plainBlock.size());
}

void TTwofishCipher::EncryptCfb8(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
  Cfb8(in, out, true);
}

void TTwofishCipher::DecryptCfb8(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
  Cfb8(in, out, false);
}

// Both directions run the block cipher forwards; only which byte is fed back
// differs. The input byte is read before the output byte is written, so the
// two may be the same buffer.
void TTwofishCipher::Cfb8(std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
                          bool encrypting) {
  RequireKey();
  RequireOutputFits(in.size(), out.size());
  Block keyStream;
  for (std::size_t i = 0; i < in.size(); ++i) {
    EncryptOne(chain_.data(), keyStream.data());
    const std::uint8_t inByte = in[i];
    const std::uint8_t outByte = inByte ^ keyStream[0];
    out[i] = outByte;
    std::copy(chain_.begin() + 1, chain_.end(), chain_.begin());
    chain_.back() = encrypting ? outByte : inByte;
  }
  SecureWipe(keyStream.data(), keyStream.size());
}

}  // namespace vexalo
