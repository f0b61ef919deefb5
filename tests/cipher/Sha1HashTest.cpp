#include <gtest/gtest.h>

#include <stdexcept>

#include "CipherTestSupport.h"
#include "cipher/Sha1Hash.h"

namespace vexalo {
namespace {

using test::Bytes;
using test::RaisedMessage;
using test::ToHex;

std::string Digest(TSha1Hash& hash) {
  std::string digest(20, '\0');
  hash.HashFinish(Bytes(digest));
  return ToHex(digest);
}

std::string Sha1(std::string_view message) {
  TSha1Hash hash;
  hash.HashStart();
  hash.HashUpdate(Bytes(message));
  return Digest(hash);
}

TEST(Sha1Hash, PublishedVectors) {
  EXPECT_EQ(Sha1("abc"), "A9993E364706816ABA3E25717850C26C9CD0D89D");
  EXPECT_EQ(Sha1("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "84983E441C3BD26EBAAE4AA1F95129E5E54670F1");
  EXPECT_EQ(Sha1(""), "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709");
}

TEST(Sha1Hash, MillionAFedInUnevenPieces) {
  // Pieces of 1 to 97 bytes cross the 64-byte block edge at every offset.
  const std::string as(97, 'a');
  TSha1Hash hash;
  hash.HashStart();
  std::size_t left = 1000000;
  for (std::size_t piece = 1; left > 0; piece = piece % 97 + 1) {
    const std::size_t take = std::min(piece, left);
    hash.HashUpdate(Bytes(std::string_view(as).substr(0, take)));
    left -= take;
  }
  EXPECT_EQ(Digest(hash), "34AA973CD4C4DAA4F61EEB2BDBAD27316534016F");
}

TEST(Sha1Hash, PaddingAroundTheLengthField) {
  // Digests from an independent implementation (coreutils sha1sum): 55 bytes
  // still fit padding and length in one block, 56 to 63 need a second one.
  const struct {
    std::size_t length;
    const char* digest;
  } cases[] = {
      {55, "C1C8BBDC22796E28C0E15163D20899B65621D65A"},
      {56, "C2DB330F6083854C99D4B5BFB6E8F29F201BE699"},
      {63, "03F09F5B158A7A8CDAD920BDDC29B81C18A551F5"},
      {64, "0098BA824B5C16427BD7A1122A5A442A25EC644D"},
      {65, "11655326C708D70319BE2610E8A57D9A5B959D3B"},
      {119, "EE971065AAA017E0632A8CA6C77BB3BF8B1DFC56"},
      {120, "F34C1488385346A55709BA056DDD08280DD4C6D6"},
  };
  for (const auto& c : cases) EXPECT_EQ(Sha1(std::string(c.length, 'a')), c.digest) << c.length;
}

TEST(Sha1Hash, MustBeStartedAndRestartedAfterFinish) {
  TSha1Hash hash;
  std::string digest(20, '\0');
  EXPECT_EQ(RaisedMessage([&] { hash.HashUpdate(Bytes("abc")); }), "SHA1: Not initialized");
  hash.HashStart();
  hash.HashUpdate(Bytes("ab"));
  hash.HashStart();  // starting again forgets what came before
  hash.HashUpdate(Bytes("abc"));
  EXPECT_EQ(Digest(hash), "A9993E364706816ABA3E25717850C26C9CD0D89D");
  EXPECT_EQ(RaisedMessage([&] { hash.HashFinish(Bytes(digest)); }), "SHA1: Not initialized");
  EXPECT_EQ(RaisedMessage([&] { hash.HashUpdate(Bytes("abc")); }), "SHA1: Not initialized");

  hash.HashStart();
  std::string shortDigest(19, '\0');
  EXPECT_THROW(hash.HashFinish(Bytes(shortDigest)), std::invalid_argument);
}

TEST(Sha1Hash, PropertiesIgnoreWrites) {
  TSha1Hash hash;
  hash.SetAlgorithm("MD5");
  hash.SetHashSize(128);
  EXPECT_EQ(hash.Algorithm(), "SHA1");
  EXPECT_EQ(hash.HashSize(), 160);
}

}  // namespace
}  // namespace vexalo
