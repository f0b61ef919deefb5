#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "CipherTestSupport.h"
#include "cipher/TwofishCipher.h"

namespace vexalo {
namespace {

using test::Bytes;
using test::FromHex;
using test::RaisedMessage;
using test::ToHex;
using namespace std::string_literals;

std::string EncryptBlock(TTwofishCipher& cipher, std::string_view block) {
  std::string out(16, '\0');
  cipher.EncryptBlock(Bytes(block), Bytes(out));
  return out;
}

std::string DecryptBlock(TTwofishCipher& cipher, std::string_view block) {
  std::string out(16, '\0');
  cipher.DecryptBlock(Bytes(block), Bytes(out));
  return out;
}

void Key(TTwofishCipher& cipher, std::string_view key) {
  cipher.InitKey(Bytes(key), static_cast<int>(key.size() * 8), {});
}

TEST(TwofishCipher, PublishedVectorsForEachKeyLength) {
  const struct {
    const char* key;
    const char* cipherText;
  } cases[] = {
      {"00000000000000000000000000000000", "9F589F5CF6122C32B6BFEC2F2AE8C35A"},
      {"0123456789ABCDEFFEDCBA98765432100011223344556677", "CFD1D2E5A9BE9CDF501F13B892BD2248"},
      {"0123456789ABCDEFFEDCBA987654321000112233445566778899AABBCCDDEEFF",
       "37527BE0052334B89F0CFCCAE87CFA20"},
  };
  const std::string zeroBlock(16, '\0');
  for (const auto& c : cases) {
    TTwofishCipher cipher;
    Key(cipher, FromHex(c.key));
    EXPECT_EQ(ToHex(EncryptBlock(cipher, zeroBlock)), c.cipherText) << c.key;
    EXPECT_EQ(DecryptBlock(cipher, FromHex(c.cipherText)), zeroBlock) << c.key;
  }
}

// The designers' iterated test: from an all-zero key and block, each step's
// key is the previous plaintext followed by the start of the previous key,
// and its plaintext the previous ciphertext. The 49th ciphertext is
// published for each key length.
TEST(TwofishCipher, PublishedIteratedVectors) {
  const struct {
    std::size_t keyBytes;
    const char* last;
  } cases[] = {
      {16, "5D9D4EEFFA9151575524F115815A12E0"},
      {24, "E75449212BEEF9F4A390BD860A640941"},
      {32, "37FE26FF1CF66175F5DDF4C33B97A205"},
  };
  for (const auto& c : cases) {
    std::string key(c.keyBytes, '\0'), plain(16, '\0'), cipherText;
    for (int step = 1; step <= 49; ++step) {
      TTwofishCipher cipher;
      Key(cipher, key);
      cipherText = EncryptBlock(cipher, plain);
      ASSERT_EQ(DecryptBlock(cipher, cipherText), plain) << c.keyBytes << " step " << step;
      key = plain.append(key).substr(0, c.keyBytes);
      plain = cipherText;
    }
    EXPECT_EQ(ToHex(cipherText), c.last) << c.keyBytes;
  }
}

TEST(TwofishCipher, ShortKeysArePaddedWithZeroBytes) {
  const std::string key160 = FromHex("0123456789ABCDEFFEDCBA987654321000112233");
  const std::string key64 = FromHex("0123456789ABCDEF");
  const std::string block = FromHex("00112233445566778899AABBCCDDEEFF");
  TTwofishCipher shortKey, paddedKey;
  Key(shortKey, key160);
  Key(paddedKey, key160 + std::string(4, '\0'));
  EXPECT_EQ(EncryptBlock(shortKey, block), EncryptBlock(paddedKey, block));
  Key(shortKey, key64);
  Key(paddedKey, key64 + std::string(8, '\0'));
  EXPECT_EQ(EncryptBlock(shortKey, block), EncryptBlock(paddedKey, block));
}

TEST(TwofishCipher, InvalidKeySizesAreRefused) {
  const std::string key(40, '\x5a');
  TTwofishCipher cipher;
  for (const int bits : {0, 100, 264, -8, 7}) {
    EXPECT_EQ(RaisedMessage([&] { cipher.InitKey(Bytes(key), bits, {}); }),
              "Twofish: Invalid key size - " + std::to_string(bits));
  }
  // A size the given bytes cannot fill is refused the same way.
  EXPECT_EQ(RaisedMessage([&] { cipher.InitKey(Bytes(key.substr(0, 15)), 128, {}); }),
            "Twofish: Invalid key size - 128");
  EXPECT_FALSE(cipher.Initialized());
}

TEST(TwofishCipher, EveryDataOperationNeedsAKey) {
  TTwofishCipher cipher;
  std::string buffer(16, '\0');
  const auto in = Bytes(std::string_view(buffer));
  const auto out = Bytes(buffer);
  const std::function<void()> operations[] = {
      [&] { cipher.EncryptBlock(in, out); }, [&] { cipher.DecryptBlock(in, out); },
      [&] { cipher.EncryptCbc(in, out); },   [&] { cipher.DecryptCbc(in, out); },
      [&] { cipher.EncryptCfb8(in, out); },  [&] { cipher.DecryptCfb8(in, out); },
  };
  for (const auto& operation : operations) {
    EXPECT_EQ(RaisedMessage(operation), "Twofish: Not initialized");
  }
  Key(cipher, std::string(16, '\0'));
  cipher.WipeKey();
  EXPECT_FALSE(cipher.Initialized());
  for (const auto& operation : operations) {
    EXPECT_EQ(RaisedMessage(operation), "Twofish: Not initialized");
  }
}

TEST(TwofishCipher, BuffersTooSmallAreRefused) {
  TTwofishCipher cipher;
  Key(cipher, std::string(16, '\0'));
  std::string small(15, '\0'), block(16, '\0');
  EXPECT_THROW(cipher.EncryptBlock(Bytes(std::string_view(small)), Bytes(block)),
               std::invalid_argument);
  EXPECT_THROW(cipher.DecryptBlock(Bytes(std::string_view(block)), Bytes(small)),
               std::invalid_argument);
  EXPECT_THROW(cipher.EncryptCfb8(Bytes(std::string_view(block)), Bytes(small)),
               std::invalid_argument);
  EXPECT_THROW(cipher.InitKey(Bytes(std::string_view(block)), 128, Bytes(std::string_view(small))),
               std::invalid_argument);
}

TEST(TwofishCipher, PropertiesIgnoreWrites) {
  TTwofishCipher cipher;
  cipher.SetAlgorithm("DES");
  cipher.SetBlockSize(64);
  cipher.SetMaxKeySize(56);
  EXPECT_EQ(cipher.Algorithm(), "Twofish");
  EXPECT_EQ(cipher.BlockSize(), 128);
  EXPECT_EQ(cipher.MaxKeySize(), 256);
}

// Key, IV and a message reaching past two whole blocks, shared by the mode tests.
class TwofishModes : public ::testing::Test {
 protected:
  const std::string key_ = FromHex("0123456789ABCDEFFEDCBA98765432100011223344556677");
  const std::string message_ = "Two blocks and a tail: \x00\x80\xff, then the end"s;

  std::string Cfb8(bool encrypting, std::string_view in, TTwofishCipher& cipher) {
    std::string out(in.size(), '\0');
    if (encrypting) {
      cipher.EncryptCfb8(Bytes(in), Bytes(out));
    } else {
      cipher.DecryptCfb8(Bytes(in), Bytes(out));
    }
    return out;
  }
};

TEST_F(TwofishModes, DefaultIvIsTheEncryptedAllOnesBlock) {
  // With no IV the first CFB-8 key stream byte is the first byte of
  // E(E(FF..FF)); an explicit IV of E(FF..FF) must give the same bytes.
  TTwofishCipher plain;
  Key(plain, key_);
  const std::string iv = EncryptBlock(plain, std::string(16, '\xff'));
  TTwofishCipher withIv;
  withIv.InitKey(Bytes(key_), 192, Bytes(iv));
  EXPECT_EQ(Cfb8(true, message_, plain), Cfb8(true, message_, withIv));
  plain.ResetChain();
  EXPECT_EQ(static_cast<std::uint8_t>(Cfb8(true, std::string(1, '\0'), plain)[0]),
            static_cast<std::uint8_t>(EncryptBlock(plain, iv)[0]));
}

TEST_F(TwofishModes, Cfb8RoundTripsCarriesOverAndWorksInPlace) {
  TTwofishCipher cipher;
  Key(cipher, key_);
  const std::string whole = Cfb8(true, message_, cipher);
  EXPECT_EQ(whole.size(), message_.size());
  EXPECT_NE(whole, message_);

  cipher.ResetChain();  // the same bytes in two calls: the register carries over
  const std::string head = Cfb8(true, message_.substr(0, 5), cipher);
  EXPECT_EQ(head + Cfb8(true, message_.substr(5), cipher), whole);

  cipher.ResetChain();
  std::string inPlace = whole;
  cipher.DecryptCfb8(Bytes(std::string_view(inPlace)), Bytes(inPlace));
  EXPECT_EQ(inPlace, message_);
}

TEST_F(TwofishModes, Cfb8CipherBytesShareExactlyThePlaintextPrefix) {
  std::string changed = message_;
  changed[10] ^= 0x01;
  TTwofishCipher cipher;
  Key(cipher, key_);
  const std::string first = Cfb8(true, message_, cipher);
  cipher.ResetChain();
  const std::string second = Cfb8(true, changed, cipher);
  EXPECT_EQ(first.substr(0, 10), second.substr(0, 10));
  EXPECT_NE(first[10], second[10]);
}

TEST_F(TwofishModes, CbcChainsWholeBlocksAndXorsThePartialTail) {
  TTwofishCipher cipher;
  Key(cipher, key_);
  std::string encrypted(message_.size(), '\0');
  cipher.EncryptCbc(Bytes(message_), Bytes(encrypted));

  // Built by hand from the block operation: C1 = E(P1 ^ IV), C2 = E(P2 ^ C1),
  // tail = P3 ^ E(C2) over the tail's length.
  TTwofishCipher reference;
  Key(reference, key_);
  std::string chain = EncryptBlock(reference, std::string(16, '\xff'));
  std::string expected;
  for (std::size_t at = 0; at + 16 <= message_.size(); at += 16) {
    std::string block = message_.substr(at, 16);
    for (std::size_t i = 0; i < 16; ++i) block[i] = static_cast<char>(block[i] ^ chain[i]);
    chain = EncryptBlock(reference, block);
    expected += chain;
  }
  const std::string pad = EncryptBlock(reference, chain);
  for (std::size_t i = 32; i < message_.size(); ++i)
    expected += static_cast<char>(message_[i] ^ pad[i - 32]);
  EXPECT_EQ(ToHex(encrypted), ToHex(expected));

  cipher.ResetChain();
  cipher.DecryptCbc(Bytes(std::string_view(encrypted)), Bytes(encrypted));
  EXPECT_EQ(encrypted, message_);
}

}  // namespace
}  // namespace vexalo
