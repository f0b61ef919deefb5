#include <gtest/gtest.h>

#include <random>

#include "CipherTestSupport.h"
#include "cipher/Base64.h"
#include "cipher/Sha1Hash.h"
#include "cipher/StringCipher.h"
#include "cipher/TwofishCipher.h"

namespace vexalo {
namespace {

using test::Bytes;
using test::RaisedMessage;
using namespace std::string_literals;

constexpr std::string_view kPassphrase = "1234567890";

TEST(StringCipher, EmptyStaysEmpty) {
  EXPECT_EQ(EncryptText("", kPassphrase), "");
  EXPECT_EQ(DecryptText("", kPassphrase), "");
}

TEST(StringCipher, StoredLengthAndPadding) {
  const struct {
    std::string plaintext;
    std::size_t textLength;
    std::string padding;
  } cases[] = {
      {"p", 4, "=="},    {"pass", 8, "=="},     {"passw", 8, "="},
      {"passwo", 8, ""}, {"passwor", 12, "=="},
  };
  for (const auto& c : cases) {
    const std::string stored = EncryptText(c.plaintext, kPassphrase);
    EXPECT_EQ(stored.size(), c.textLength) << c.plaintext;
    const std::size_t trailing = stored.size() - stored.find_last_not_of('=') - 1;
    EXPECT_EQ(stored.substr(stored.size() - trailing), c.padding) << c.plaintext;
  }
}

TEST(StringCipher, AnyBytesRoundTripAndRepeatExactly) {
  std::mt19937 random(20240611);
  std::uniform_int_distribution<int> byte(0, 255), length(0, 64);
  for (int round = 0; round < 100; ++round) {
    std::string plaintext(length(random), '\0');
    for (char& c : plaintext) c = static_cast<char>(byte(random));
    const std::string stored = EncryptText(plaintext, kPassphrase);
    EXPECT_EQ(DecryptText(stored, kPassphrase), plaintext);
    EXPECT_EQ(EncryptText(plaintext, kPassphrase), stored);
  }
  const std::string japanese =
      "\x83\x70\x83\x58\x83\x8f\x81\x5b\x83\x68\x00\x0d\x0a"s;  // パスワード
  EXPECT_EQ(DecryptText(EncryptText(japanese, kPassphrase), kPassphrase), japanese);
}

TEST(StringCipher, SharedPrefixGivesSharedCipherPrefix) {
  const std::string first = Base64Decode(EncryptText("secret-A-tail", kPassphrase));
  const std::string second = Base64Decode(EncryptText("secret-B-tail", kPassphrase));
  EXPECT_EQ(first.substr(0, 7), second.substr(0, 7));
  EXPECT_NE(first[7], second[7]);
}

TEST(StringCipher, KeyIsTheSha1OfThePassphraseAsA192BitKey) {
  TSha1Hash hash;
  std::string key(24, '\0');
  hash.HashStart();
  hash.HashUpdate(Bytes(kPassphrase));
  hash.HashFinish(Bytes(key));  // 20 digest bytes, then four zero bytes
  TTwofishCipher cipher;
  cipher.InitKey(Bytes(std::string_view(key)), 192, {});
  std::string bytes = "pop3-password";
  cipher.EncryptCfb8(Bytes(std::string_view(bytes)), Bytes(bytes));
  EXPECT_EQ(EncryptText("pop3-password", kPassphrase), Base64Encode(bytes));
}

TEST(StringCipher, BadStoredText) {
  EXPECT_EQ(RaisedMessage([] { DecryptText("ABCDEFG", kPassphrase); }),
            "Base64: Incorrect string format");
  // Well-formed text of the wrong bytes decrypts without complaint.
  const std::string stored = EncryptText("password", kPassphrase);
  std::string edited = stored;
  edited[0] = edited[0] == 'Q' ? 'R' : 'Q';
  const std::string wrong = DecryptText(edited, kPassphrase);
  EXPECT_EQ(wrong.size(), 8u);
  EXPECT_NE(wrong, "password");
  EXPECT_NE(DecryptText(stored, "other passphrase"), "password");
  EXPECT_EQ(DecryptText("pass wor", kPassphrase).size(), 6u);  // a blank counts as 63
}

}  // namespace
}  // namespace vexalo
