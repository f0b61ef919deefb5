#include "cipher/Md5.h"

#include <bit>

namespace vexalo {
namespace {

// Per-step additive constants: floor(abs(sin(i + 1)) * 2^32).
constexpr std::array<std::uint32_t, 64> kSine = {
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

constexpr std::array<std::uint32_t, 4> kInitialChain = {0x67452301, 0xefcdab89, 0x98badcfe,
                                                        0x10325476};

}  // namespace

TMd5Hash::TMd5Hash() : TBlockHash64("MD5", kInitialChain, ByteOrder::kLittleEndian) {}

void TMd5Hash::Compress(std::array<std::uint32_t, 16>& words,
                        std::span<std::uint32_t> chain) const {
  std::uint32_t a = chain[0], b = chain[1], c = chain[2], d = chain[3];
  for (int step = 0; step < 64; ++step) {
    const int round = step / 16;
    std::uint32_t f;
    int word;
    if (round == 0) {
      f = (b & c) | (~b & d);
      word = step;
    } else if (round == 1) {
      f = (b & d) | (c & ~d);
      word = (5 * step + 1) % 16;
    } else if (round == 2) {
      f = b ^ c ^ d;
      word = (3 * step + 5) % 16;
    } else {
      f = c ^ (b | ~d);
      word = (7 * step) % 16;
    }
    const std::uint32_t sum = a + f + kSine[step] + words[word];
    a = d;
    d = c;
    c = b;
    b += std::rotl(sum, kShift[round * 4 + step % 4]);
  }
  chain[0] += a;
  chain[1] += b;
  chain[2] += c;
  chain[3] += d;
}

std::string Md5Hex(std::string_view bytes) {
  static constexpr char kHexDigits[] = "0123456789abcdef";
  TMd5Hash hash;
  hash.HashStart();
  hash.HashUpdate({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
  std::array<std::uint8_t, 16> digest;
  hash.HashFinish(digest);
  std::string hex;
  hex.reserve(2 * digest.size());
  for (const std::uint8_t byte : digest) {
    hex += kHexDigits[byte >> 4];
    hex += kHexDigits[byte & 0x0F];
  }
  return hex;
}

}  // namespace vexalo
