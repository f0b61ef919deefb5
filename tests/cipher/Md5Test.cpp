#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "cipher/Md5.h"

namespace vexalo {
namespace {

std::string Hex(const Md5::Digest& digest) {
  static constexpr char kHexDigits[] = "0123456789abcdef";
  std::string hex;
  for (const uint8_t byte : digest) {
    hex += kHexDigits[byte >> 4];
    hex += kHexDigits[byte & 0x0F];
  }
  return hex;
}

std::string Repeat(std::string_view piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

TEST(Md5Test, KnownDigests) {
  const std::vector<std::pair<std::string, std::string>> suite = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {Repeat("1234567890", 8), "57edf4a22be3c955ac49da2e2107b67a"},
      // Padding edges: one byte short of the length field, exactly at it, a full block.
      {Repeat("a", 55), "ef1772b6dff9a122358552954ad0df65"},
      {Repeat("a", 56), "3b0c8ac703f828b04c6c197006d17218"},
      {Repeat("a", 64), "014842d480b571495a4a0363793f7367"},
  };
  for (const auto& [message, digest] : suite) {
    EXPECT_EQ(Md5Hex(message), digest) << '"' << message << '"';
  }
}

TEST(Md5Test, ApopDigestOfTimestampAndSecret) {
  EXPECT_EQ(Md5Hex("<1896.697170952@dbc.mtview.ca.us>tanstaaf"),
            "c4c9334bac560ecc979e58001b3e22fb");
}

// Lengths around the 56-byte padding edge and the 64-byte block edge, fed
// whole and in pieces of every size: the digest must not depend on how the
// bytes arrive, and nothing may be read or written past a block.
TEST(Md5Test, PiecewiseFeedMatchesWholeAroundBlockEdges) {
  for (size_t length : {55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 128u, 200u}) {
    std::string message;
    for (size_t i = 0; i < length; ++i) message += static_cast<char>(i * 7 + 1);
    Md5 whole;
    whole.Update(message);
    const Md5::Digest expected = whole.Finish();
    for (size_t piece = 1; piece <= 65; ++piece) {
      Md5 md5;
      for (size_t at = 0; at < length; at += piece)
        md5.Update(std::string_view(message).substr(at, piece));
      ASSERT_EQ(Hex(md5.Finish()), Hex(expected)) << "length " << length << " piece " << piece;
    }
  }
}

TEST(Md5Test, FinishStartsANewMessage) {
  Md5 md5;
  md5.Update("leftover");
  md5.Finish();
  md5.Update("abc");
  EXPECT_EQ(Hex(md5.Finish()), "900150983cd24fb0d6963f7d28e17f72");
}

}  // namespace
}  // namespace vexalo
