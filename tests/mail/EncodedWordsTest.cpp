#include <gtest/gtest.h>

#include <string>

#include "Sjis.h"
#include "mail/EncodedWords.h"

namespace vexalo {
namespace {

using testing::Sjis;

TEST(EncodedWords, DecodedToCp932InAHeaderLine) {
  struct Case {
    std::string line;
    std::string decoded;
    const char* what;
  };
  const Case cases[] = {
      {"Subject: =?UTF-8?B?44GU5rOo5paH?=", Sjis("Subject: ご注文"), "B"},
      {"Subject: =?utf-8?q?=E3=81=94_x?=", Sjis("Subject: ご x"), "Q, underscore"},
      {"Subject: =?UTF-8?B?44GU?= \t =?UTF-8?B?5rOo5paH?= end", Sjis("Subject: ご注文 end"),
       "blanks between words dropped"},
      {"Subject: =?UTF-8*ja?B?44GU?=", Sjis("Subject: ご"), "language suffix"},
      {"Subject: =?=?UTF-8?B?44GU?=", Sjis("Subject: =?ご"), "a false start before a word"},
      {"Subject: =?UTF-8?X?44GU?= =?UTF-8?B?44GU", "Subject: =?UTF-8?X?44GU?= =?UTF-8?B?44GU",
       "no words: as written"},
      {"Subject: =?bad charset?B?YQ==?=", "Subject: =?bad charset?B?YQ==?=", "blank in charset"},
      {"Subject: \xE3\x81\x94 =?ISO-2022-JP?B?GyRCJDQbKEI=?=", Sjis("Subject: ご ご"),
       "raw UTF-8 around a word"},
  };
  const TJisConv jisConv;
  TMailTextDecoder decoder(jisConv);
  for (const auto& c : cases) EXPECT_EQ(DecodeEncodedWords(c.line, decoder), c.decoded) << c.what;
}

}  // namespace
}  // namespace vexalo
