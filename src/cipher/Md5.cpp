#include "cipher/Md5.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace vexalo {

namespace {

constexpr std::array<uint32_t, 4> kInitialState = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};

// Per-step additive constants: floor(abs(sin(i + 1)) * 2^32).
constexpr std::array<uint32_t, 64> kSine = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

// Left-rotation amounts, four per round.
constexpr std::array<int, 16> kShift = {7, 12, 17, 22, 5, 9, 14, 20, 4, 11, 16, 23, 6, 10, 15, 21};

uint32_t LoadLittleEndian(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

}  // namespace

Md5::Md5() { Reset(); }

void Md5::Reset() {
  state_ = kInitialState;
  pending_.fill(0);
  length_ = 0;
}

void Md5::Transform(const uint8_t* block) {
  std::array<uint32_t, 16> words;
  for (size_t i = 0; i < words.size(); ++i) words[i] = LoadLittleEndian(block + 4 * i);

  uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
  for (int step = 0; step < 64; ++step) {
    const int round = step / 16;
    uint32_t mixed;
    int word;
    switch (round) {
      case 0:
        mixed = (b & c) | (~b & d);
        word = step;
        break;
      case 1:
        mixed = (b & d) | (c & ~d);
        word = (5 * step + 1) % 16;
        break;
      case 2:
        mixed = b ^ c ^ d;
        word = (3 * step + 5) % 16;
        break;
      default:
        mixed = c ^ (b | ~d);
        word = (7 * step) % 16;
        break;
    }
    const uint32_t sum = a + mixed + kSine[step] + words[word];
    a = d;
    d = c;
    c = b;
    b += std::rotl(sum, kShift[round * 4 + step % 4]);
  }
  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
}

void Md5::Update(std::string_view bytes) {
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  size_t remaining = bytes.size();
  size_t held = length_ % pending_.size();
  length_ += remaining;

  if (held > 0) {
    const size_t take = std::min(remaining, pending_.size() - held);
    std::memcpy(pending_.data() + held, data, take);
    data += take;
    remaining -= take;
    held += take;
    if (held < pending_.size()) return;
    Transform(pending_.data());
  }
  for (; remaining >= pending_.size(); remaining -= pending_.size(), data += pending_.size()) {
    Transform(data);
  }
  if (remaining > 0) std::memcpy(pending_.data(), data, remaining);
}

Md5::Digest Md5::Finish() {
  const uint64_t bitLength = length_ * 8;
  // A single 0x80 byte, zeros up to 56 bytes into the block, then the length.
  const size_t held = length_ % pending_.size();
  const size_t padLength = (held < 56 ? 56 : 120) - held;
  std::array<uint8_t, 72> padding{};
  padding[0] = 0x80;
  for (size_t i = 0; i < 8; ++i) {
    padding[padLength + i] = static_cast<uint8_t>(bitLength >> (8 * i));
  }
  Update(std::string_view(reinterpret_cast<const char*>(padding.data()), padLength + 8));

  Digest digest;
  for (size_t i = 0; i < state_.size(); ++i) {
    for (size_t j = 0; j < 4; ++j) digest[4 * i + j] = static_cast<uint8_t>(state_[i] >> (8 * j));
  }
  Reset();
  return digest;
}

std::string Md5Hex(std::string_view bytes) {
  static constexpr char kHexDigits[] = "0123456789abcdef";
  Md5 md5;
  md5.Update(bytes);
  std::string hex;
  hex.reserve(32);
  for (const uint8_t byte : md5.Finish()) {
    hex += kHexDigits[byte >> 4];
    hex += kHexDigits[byte & 0x0F];
  }
  return hex;
}

}  // namespace vexalo
