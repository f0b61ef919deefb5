#include <gtest/gtest.h>

#include "CipherTestSupport.h"
#include "cipher/Base64.h"

namespace vexalo {
namespace {

using test::RaisedMessage;
using namespace std::string_literals;

TEST(Base64, PublishedVectorsBothWays) {
  const struct {
    const char* bytes;
    const char* text;
  } cases[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Base64Encode(c.bytes), c.text);
    EXPECT_EQ(Base64Decode(c.text), c.bytes);
  }
}

TEST(Base64, EveryByteValueRoundTrips) {
  std::string all;
  for (int byte = 0; byte < 256; ++byte) all += static_cast<char>(byte);
  for (const std::size_t length : {0u, 1u, 2u, 3u, 254u, 255u, 256u}) {
    const std::string bytes = all.substr(256 - length);
    const std::string text = Base64Encode(bytes);
    EXPECT_EQ(text.size(), (length + 2) / 3 * 4);
    EXPECT_EQ(Base64Decode(text), bytes) << length;
  }
  EXPECT_EQ(Base64Encode("\xfb\xff"s), "+/8=");
}

TEST(Base64, LengthNotAMultipleOfFourFails) {
  for (const char* text : {"A", "Zm9", "Zm9vYmF", "Zm9vY"}) {
    EXPECT_EQ(RaisedMessage([&] { Base64Decode(text); }), "Base64: Incorrect string format")
        << text;
  }
}

TEST(Base64, ForeignCharactersCountAsTheLastValue) {
  // Nothing is rejected: a blank, a stray "=", a control byte or a byte
  // above 0x7F all read as 63, the value of "/".
  const struct {
    std::string text;
    std::string bytes;
  } cases[] = {
      {"////", "\xff\xff\xff"s},
      {"  ==", "\xff"s},  // third "=" gives one byte
      {"Zg=x", "f"},      // ...and the fourth is not looked at
      {"Zh==", "f"},      // unused low bits are ignored
      {"Zm9=", "fo"},     // fourth "=" gives two bytes
      {"==AAZg==",
       "\xff\xf0\x00"
       "f"s},  // "=" outside the last group is 63
      {"\x01\x80\xff?", "\xff\xff\xff"s},
  };
  for (const auto& c : cases) EXPECT_EQ(Base64Decode(c.text), c.bytes) << c.text;
}

}  // namespace
}  // namespace vexalo
