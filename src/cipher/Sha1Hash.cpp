#include "cipher/Sha1Hash.h"

namespace vexalo {
namespace {

constexpr std::uint32_t Rol(std::uint32_t value, int bits) {
  return (value << bits) | (value >> (32 - bits));
}

constexpr std::array<std::uint32_t, 5> kInitialChain = {0x67452301, 0xEFCDAB89, 0x98BADCFE,
                                                        0x10325476, 0xC3D2E1F0};

}  // namespace

TSha1Hash::TSha1Hash() : TBlockHash64("SHA1", kInitialChain, ByteOrder::kBigEndian) {}

// `words` doubles as the rolling 16-word message schedule.
void TSha1Hash::Compress(std::array<std::uint32_t, 16>& words,
                         std::span<std::uint32_t> chain) const {
  std::uint32_t a = chain[0], b = chain[1], c = chain[2], d = chain[3], e = chain[4];
  for (int t = 0; t < 80; ++t) {
    if (t >= 16) {
      words[t & 15] =
          Rol(words[(t + 13) & 15] ^ words[(t + 8) & 15] ^ words[(t + 2) & 15] ^ words[t & 15], 1);
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
    const std::uint32_t temp = Rol(a, 5) + f + e + k + words[t & 15];
    e = d;
    d = c;
    c = Rol(b, 30);
    b = a;
    a = temp;
  }
  chain[0] += a;
  chain[1] += b;
  chain[2] += c;
  chain[3] += d;
  chain[4] += e;
}

}  // namespace vexalo
