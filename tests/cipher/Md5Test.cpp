#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>

#include "CipherTestSupport.h"
#include "cipher/Md5.h"

namespace vexalo {
namespace {

using test::Bytes;
using test::RaisedMessage;
using test::ToHex;

std::string Digest(TMd5Hash& hash) {
  std::string digest(16, '\0');
  hash.HashFinish(Bytes(digest));
  return ToHex(digest);
}

TEST(Md5Hash, PublishedSuite) {
  const struct {
    std::string message;
    const char* digest;
  } cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"1234567890123456789012345678901234567890"
       "1234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& c : cases) EXPECT_EQ(Md5Hex(c.message), c.digest) << '"' << c.message << '"';
}

TEST(Md5Hash, ApopDigestOfTimestampAndSecret) {
  EXPECT_EQ(Md5Hex("<1896.697170952@dbc.mtview.ca.us>tanstaaf"),
            "c4c9334bac560ecc979e58001b3e22fb");
}

TEST(Md5Hash, PaddingAroundTheLengthFieldFedInPieces) {
  // Digests from an independent implementation (Python's hashlib): 55 bytes
  // still fit padding and length in one block, 56 to 63 need a second one.
  // Each message also goes in pieces of every size up to 65 bytes, so pieces
  // end at every offset of a block.
  const struct {
    std::size_t length;
    const char* digest;
  } cases[] = {
      {55, "ef1772b6dff9a122358552954ad0df65"},
      {56, "3b0c8ac703f828b04c6c197006d17218"},
      {64, "014842d480b571495a4a0363793f7367"},
  };
  for (const auto& c : cases) {
    const std::string message(c.length, 'a');
    for (std::size_t piece = 1; piece <= 65; ++piece) {
      TMd5Hash hash;
      hash.HashStart();
      for (std::size_t at = 0; at < message.size(); at += piece) {
        hash.HashUpdate(Bytes(std::string_view(message).substr(at, piece)));
      }
      ASSERT_EQ(Digest(hash), ToHex(test::FromHex(c.digest))) << c.length << " by " << piece;
    }
  }
}

TEST(Md5Hash, MustBeStartedAndRestartedAfterFinish) {
  TMd5Hash hash;
  EXPECT_EQ(hash.Algorithm(), "MD5");
  EXPECT_EQ(hash.HashSize(), 128);
  EXPECT_EQ(RaisedMessage([&] { hash.HashUpdate(Bytes("abc")); }), "MD5: Not initialized");
  hash.HashStart();
  hash.HashUpdate(Bytes("ab"));
  hash.HashStart();  // starting again forgets what came before
  hash.HashUpdate(Bytes("abc"));
  EXPECT_EQ(Digest(hash), "900150983CD24FB0D6963F7D28E17F72");
  std::string digest(16, '\0');
  EXPECT_EQ(RaisedMessage([&] { hash.HashFinish(Bytes(digest)); }), "MD5: Not initialized");

  hash.HashStart();
  std::string shortDigest(15, '\0');
  EXPECT_THROW(hash.HashFinish(Bytes(shortDigest)), std::invalid_argument);
}

}  // namespace
}  // namespace vexalo
