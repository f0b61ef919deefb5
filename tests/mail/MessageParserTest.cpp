#include <gtest/gtest.h>

#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "MailLines.h"
#include "ParserUnderTest.h"
#include "mail/MessageParser.h"
#include "text/CommFuncs.h"

namespace vexalo {
namespace {

using testing::ReadMailLines;

constexpr std::string_view kTrigger = "X-VEXALO: default";

class MessageParserTest : public ::testing::Test, protected testing::ParserUnderTest {
 protected:
  void Feed(std::initializer_list<std::string_view> lines) {
    for (const std::string_view line : lines) parser.Line(line);
  }

  // The items of a picked message whose body is `body`.
  ParsedMessage ReadBody(std::initializer_list<std::string_view> body) {
    Feed({"Subject: order", kTrigger, ""});
    Feed(body);
    return parser.Finish();
  }
};

TEST_F(MessageParserTest, FinishStartsTheNextMessage) {
  Feed({"Content-Type: text/plain; charset=euc-jp", kTrigger, "", "a:1"});
  EXPECT_EQ(parser.Finish().values, std::vector<std::string>{"1"});
  EXPECT_TRUE(parser.InHeader());
  EXPECT_FALSE(parser.Picked());
  EXPECT_EQ(parser.Charset(), csOther);
  const ParsedMessage next = Read({"Subject: next", "", "b:2"});
  EXPECT_FALSE(next.picked);
  EXPECT_TRUE(next.names.empty());
}

TEST_F(MessageParserTest, TriggerLineIsComparedWholeWithoutCase) {
  struct Case {
    std::string setting;
    std::vector<std::string> header;
    bool found;
    const char* what;
  };
  const Case cases[] = {
      {"X-VEXALO: default", {"x-vexalo: DEFAULT"}, true, "other case in the mail"},
      {"x-vexalo: Default", {"X-VEXALO: default"}, true, "other case in the setting"},
      {"X-VEXALO: default", {"X-VEXALO: default "}, false, "trailing blank"},
      {"X-VEXALO: default", {" X-VEXALO: default"}, false, "leading blank"},
      {"X-VEXALO: default", {"X-VEXALO: other"}, false, "other value"},
      {"X-VEXALO: default", {"X-VEXALO:", " default"}, false, "folded over two lines"},
      {"", {"Subject: any"}, true, "empty setting matches the blank line"},
  };
  for (const auto& c : cases) {
    SetRules(c.setting, ":");
    for (const auto& line : c.header) parser.Line(line);
    parser.Line("");
    EXPECT_EQ(parser.Picked(), c.found) << c.what;
    EXPECT_FALSE(parser.InHeader()) << c.what;
    EXPECT_EQ(parser.Finish().picked, c.found) << c.what;
  }
}

// A line of blanks only is folding inside a field; only an empty line ends the
// header, so a folded Subject never turns the rest of the header into items.
TEST_F(MessageParserTest, HeaderEndsOnlyAtAnEmptyLine) {
  Feed({kTrigger, "Subject: a:b", " \t", "X-Mailer: m:1"});
  EXPECT_TRUE(parser.InHeader());
  Feed({"", kTrigger, "a:b"});
  EXPECT_FALSE(parser.InHeader());
  const ParsedMessage message = parser.Finish();
  // Body lines are items, the trigger line among them.
  EXPECT_EQ(message.names, (std::vector<std::string>{"X-VEXALO", "a"}));
  EXPECT_EQ(message.values, (std::vector<std::string>{"default", "b"}));

  // As a mailer sent it: the Subject folded over a line holding one blank.
  const ParsedMessage folded =
      Read({"From: shop@example.com", "Subject: =?UTF-8?B?5rOo5paH?=", " ",
            " =?UTF-8?B?44OV44Kp44O844Og?=", kTrigger, "Content-Type: text/plain; charset=utf-8",
            "", "\xE5\x93\x81\xE5\x90\x8D:1"});
  EXPECT_TRUE(folded.picked);
  EXPECT_EQ(folded.names, std::vector<std::string>{"\x95\x69\x96\xBC"});  // 品名
  EXPECT_EQ(folded.values, std::vector<std::string>{"1"});
}

TEST_F(MessageParserTest, BodyOfAMessageWithoutTriggerGivesNothing) {
  const ParsedMessage message = Read({"Subject: no trigger", "", "a:b", kTrigger, ""});
  EXPECT_FALSE(message.picked);
  EXPECT_TRUE(message.names.empty());
  EXPECT_TRUE(message.values.empty());
}

TEST_F(MessageParserTest, MessageEndingInItsHeaderGivesNoItems) {
  const ParsedMessage message = Read({kTrigger, "a:b", "c:d"});
  EXPECT_TRUE(message.picked);
  EXPECT_TRUE(message.names.empty());
}

// One body line after a picked header: the item's name and value.
TEST_F(MessageParserTest, BodyLineBecomesOneItem) {
  struct Case {
    std::string separator;
    std::string line;
    std::string name;
    std::string value;
    const char* what;
  };
  const Case cases[] = {
      {":", "\x96\xBC\x91\x4F:\x8E\x52\x93\x63", "\x96\xBC\x91\x4F", "\x8E\x52\x93\x63",
       "name and value"},
      {":", "\x8E\x9E\x8D\x8F: 10:30", "\x8E\x9E\x8D\x8F", "10:30", "later separators stay"},
      {":", "no separator here", "no separator here", "", "without separator"},
      {":", ":rest: more", "", "rest: more", "starts with the separator"},
      {":", "", "", "", "blank line"},
      {":", "\t  ", "", "", "blank bytes only"},
      {":", "%\x83\x52\x83\x81\x83\x93\x83\x67", "%\x83\x52\x83\x81\x83\x93\x83\x67", "",
       "% joined to the text is an item"},
      {":", "%x:1", "%x", "1", "% with more before the separator is an item"},
      {":", "price:1,000", "price",
       "1\x81\x43"
       "000",
       "comma becomes full-width"},
      {",", "a,b,c", "a",
       "b\x81\x43"
       "c",
       "comma separator splits at the first comma, made full-width like any other"},
      {":", "name\x81\x46value", "name", "value", "full-width separator"},
      {"", "a:b", "a:b", "", "empty separator never splits"},
      {"::", "a::b", "a::b", "", "two-byte separator never splits"},
      {"|", "\x83\x7C|x", "\x83\x7C", "x", "separator byte inside a character is skipped"},
      {"=", "a=b", "a", "b", "other one-byte separator"},
  };
  for (const auto& c : cases) {
    SetRules(std::string(kTrigger), c.separator);
    const ParsedMessage message = ReadBody({c.line});
    EXPECT_EQ(message.names, std::vector<std::string>{c.name}) << c.what;
    EXPECT_EQ(message.values, std::vector<std::string>{c.value}) << c.what;
  }
}

TEST_F(MessageParserTest, CommentLinesLeaveNoTrace) {
  const ParsedMessage message =
      ReadBody({"%:\x83\x52\x83\x81\x83\x93\x83\x67", "%", " % :more text", "%:"});
  EXPECT_TRUE(message.picked);
  EXPECT_TRUE(message.names.empty());
  EXPECT_TRUE(message.values.empty());
}

TEST_F(MessageParserTest, ItemsComeInBodyOrderUpToTheCap) {
  const ParsedMessage message = ReadBody({"a:1", "%:comment", ":2", "", "signature"});
  EXPECT_EQ(message.names, (std::vector<std::string>{"a", "", "", "signature"}));
  EXPECT_EQ(message.values, (std::vector<std::string>{"1", "2", "", ""}));
  // The blank line and the greeting had no separator; ":2" did.
  EXPECT_EQ(message.bareLines, (std::vector<size_t>{2, 3}));

  Feed({kTrigger, ""});
  for (int i = 0; i < kMaxItemsPerMessage + 2; ++i) parser.Line("n:" + std::to_string(i));
  const ParsedMessage longest = parser.Finish();
  ASSERT_EQ(longest.values.size(), static_cast<size_t>(kMaxItemsPerMessage));
  EXPECT_EQ(longest.values.back(), std::to_string(kMaxItemsPerMessage - 1));
}

// A picked mail whose text cannot be taken whole must not become a row: the
// parser says so instead of handing over nothing, or a cut text.
TEST_F(MessageParserTest, MailWithoutATextToTakeWholeIsNotReadable) {
  std::vector<std::string> deep = {std::string(kTrigger)};
  for (size_t level = 0; level <= TMimeWalker::kMaxDepth; ++level) {
    deep.push_back("Content-Type: multipart/mixed; boundary=b" + std::to_string(level));
    deep.push_back("");
    deep.push_back("--b" + std::to_string(level));
  }
  deep.insert(deep.end(), {"Content-Type: text/plain", "", "a:1"});
  const struct {
    const char* what;
    std::vector<std::string> lines;
    bool readable;
  } cases[] = {
      {"plain text", {std::string(kTrigger), "", "a:1"}, true},
      {"empty body", {std::string(kTrigger), ""}, true},
      {"attachment only",
       {std::string(kTrigger), "Content-Type: multipart/mixed; boundary=b", "", "--b",
        "Content-Type: text/plain", "Content-Disposition: attachment; filename=a.txt", "", "a:1",
        "--b--"},
       false},
      {"UTF-16 text part",
       {std::string(kTrigger), "Content-Type: multipart/mixed; boundary=b", "", "--b",
        "Content-Type: text/plain; charset=utf-16", "Content-Transfer-Encoding: base64", "",
        "//5hADoAMQA=", "--b--"},
       false},
      {"UTF-32 body",
       {std::string(kTrigger), "Content-Type: text/plain; charset=UTF-32LE", "", "a:1"},
       false},
      {"text nested past what is walked", deep, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Read(c.lines).readable, c.readable) << c.what;
  }
}

TEST(DetectCharset, TakesTheCharsetParameterWhereverItStands) {
  struct Case {
    const char* text;
    uint8_t mode;
  };
  const Case cases[] = {
      {"Content-Type: text/plain; charset=iso-2022-jp", csIso2022Jp},
      {"Content-Type: text/plain; charset=\"iso-2022-jp\"", csIso2022Jp},
      {"Content-Type: text/plain;charset=Shift_JIS", csShiftJis},
      {"Content-Type: text/plain; format=flowed; charset=euc-jp", csEucJp},
      {"Content-Type: text/plain; charset=\"Shift_JIS\"; format=flowed", csShiftJis},
      {"Content-Type: text/plain; format=flowed; charset=\"EUC-JP\"; delsp=yes", csEucJp},
      {"Content-Type: text/plain;\tCharSet = \" euc-jp \" ", csEucJp},
      {"Content-Type: text/plain; name=\"a;charset=euc-jp\"; charset=iso-2022-jp", csIso2022Jp},
      {"Content-Type: text/plain; name=\"a\\\";charset=euc-jp\"; charset=shift_jis", csShiftJis},
      {"Content-Type: text/plain; x-charset=euc-jp; charset=iso-2022-jp", csIso2022Jp},
      {"Content-Type: text/plain; charset=iso-2022-jp; charset=euc-jp", csIso2022Jp},
      {"Content-Type: text/plain; foo=iso-2022-jp", csOther},
      {"Content-Type: text/plain; charset=utf-8", csUtf8},
      {"Content-Type: text/plain; charset=iso-2022-jp-2", csIso2022Jp},
      {"Content-Type: text/plain; charset=ISO-2022-JP-2004", csIso2022Jp},
      {"Content-Type: text/plain; charset=cp932", csShiftJis},
      {"Content-Type: text/plain; charset=Windows-31J", csShiftJis},
      {"Content-Type: text/plain; charset=x-sjis", csShiftJis},
      {"Content-Type: text/plain; charset=us-ascii", csOther},
      {"Content-Type: text/plain; charset=iso-8859-1", csIconv},
      {"Content-Type: text/plain; charset=\"gb2312\"", csIconv},
      {"Content-Type: text/plain; charset=no-such-charset", csOther},
      {"Content-Type: text/plain; charset=\"utf-8/translit\"", csOther},
      {"Content-Type: text/plain; charset=\"\"", csOther},
      {"Content-Type: text/plain; charset=\"iso-2022-jp", csOther},
      {"Content-Type: text/plain; charset=", csOther},
      {"Content-Type: text/plain; charset", csOther},
      {"Content-Type: text/plain", csOther},
      {"Content-Type: charset=iso-2022-jp", csOther},  // no parameter list at all
      {"Content-Type", csOther},
  };
  auto lower = [](std::string text) {
    for (char& c : text) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TMessageParser::DetectCharset(c.text), c.mode) << c.text;
    EXPECT_EQ(TMessageParser::DetectCharset(UpperAscii(c.text)), c.mode) << c.text;
    EXPECT_EQ(TMessageParser::DetectCharset(lower(c.text)), c.mode) << c.text;
  }
}

// The Content-Type header as header lines: continuation lines count, the
// last Content-Type wins, and nothing else is joined.
TEST_F(MessageParserTest, ContentTypeHeaderWithItsContinuationLines) {
  struct Case {
    std::vector<std::string> header;
    uint8_t mode;
    const char* what;
  };
  const Case cases[] = {
      {{"Content-Type: text/plain;", "\tcharset=\"ISO-2022-JP\""}, csIso2022Jp, "tab, quoted"},
      {{"Content-Type: text/plain; format=flowed;", " charset=euc-jp;", " delsp=yes"},
       csEucJp,
       "blank, flowed before"},
      {{"Content-Type: text/plain;", " charset=shift_jis", "Subject: x"},
       csShiftJis,
       "next header after it"},
      {{"Content-Type: text/plain;", "Subject: x", " charset=euc-jp"},
       csOther,
       "continuation of another header"},
      {{"Subject: x", " charset=euc-jp"}, csOther, "no Content-Type at all"},
      {{"Content-Type: text/plain; charset=euc-jp", "Content-Type: text/plain"},
       csOther,
       "last one wins"},
      {{"Content-Type: text/plain; charset=euc-jp", "Content-Type: text/plain;",
        "  charset=\"shift_jis\""},
       csShiftJis,
       "last one wins with its continuation"},
      {{"content-type : text/plain; charset=iso-2022-jp"}, csIso2022Jp, "blank before colon"},
  };
  for (const auto& c : cases) {
    for (const bool upper : {false, true}) {
      for (const auto& line : c.header) parser.Line(upper ? UpperAscii(line) : line);
      EXPECT_EQ(parser.Charset(), c.mode) << c.what << (upper ? " (upper case)" : "");
      parser.Line("");
      EXPECT_EQ(parser.Charset(), c.mode) << c.what;
      parser.Finish();
    }
  }
}

TEST_F(MessageParserTest, ContinuationNeverReachesIntoTheNextMessage) {
  Feed({"Content-Type: text/plain;"});  // the message ends inside its header
  parser.Finish();
  Feed({" charset=euc-jp"});
  EXPECT_EQ(parser.Charset(), csOther);
}

TEST_F(MessageParserTest, ContentTypeIsReadUpToItsCap) {
  Feed({"Content-Type: text/plain;"});
  const std::string filler = " x-filler=" + std::string(1000, 'a') + ";";
  for (int i = 0; i < 20; ++i) Feed({filler});
  Feed({" charset=iso-2022-jp"});
  EXPECT_EQ(parser.Charset(), csOther);  // 20 KB into the header: past the cap
  Feed({"Content-Type: text/plain;"});
  for (int i = 0; i < 10; ++i) Feed({filler});
  Feed({" charset=iso-2022-jp", ""});
  EXPECT_EQ(parser.Charset(), csIso2022Jp);
  EXPECT_FALSE(parser.InHeader());
}

TEST_F(MessageParserTest, BodyIsDecodedByTheDeclaredCharset) {
  struct Case {
    const char* contentType;
    std::string line;
    std::string value;
  };
  const Case cases[] = {
      {"Content-Type: text/plain; charset=iso-2022-jp", "a:\x1B$B$\"\x1B(B", "\x82\xA0"},
      {"Content-Type: text/plain; charset=euc-jp", "a:\xA4\xA2", "\x82\xA0"},
      {"Content-Type: text/plain; charset=shift_jis", "a:\x82\xA0", "\x82\xA0"},
      {"Content-Type: text/plain; charset=utf-8", "a:\xE3\x81\x82", "\x82\xA0"},
      {"Subject: no content type", "a:\x1B$B$\"\x1B(B", "\x82\xA0"},  // has a designation
  };
  for (const auto& c : cases) {
    Feed({c.contentType});
    EXPECT_EQ(ReadBody({c.line}).values, std::vector<std::string>{c.value}) << c.contentType;
  }
}

TEST_F(MessageParserTest, HeaderLinesAreNeverDecoded) {
  SetRules("X-\xA4\xA2", ":");  // compared as it stands, not as EUC-JP
  Feed({"Content-Type: text/plain; charset=euc-jp", "X-\xA4\xA2", ""});
  EXPECT_TRUE(parser.Picked());
}

// Whole mails from disk, fed line by line as the POP3 client hands them over.
TEST_F(MessageParserTest, WholeMails) {
  struct Case {
    const char* file;
    uint8_t mode;
    std::vector<std::string> titles;
    std::vector<std::string> values;
  };
  const Case cases[] = {
      {"order-iso2022jp-folded-charset.eml",
       csIso2022Jp,
       {
           "\x95\x69\x96\xBC",                  // 品名
           "\x90\x94\x97\xCA",                  // 数量 (ESC $ @)
           "\x8B\xE0\x8A\x7A",                  // 金額
           "\x94\xF5\x8D\x6C",                  // 備考
           "\x82\xA8\x93\xCD\x82\xAF",          // お届け
           "",                                  // blank line
           "\x8E\x52\x93\x63\x8F\xA4\x93\x58",  // 山田商店 (signature)
       },
       {
           "\x94\x96\x8C\xFB\x82\xB5\x82\xE5\x82\xA4\x82\xE4",  // 薄口しょうゆ
           "2",
           "1\x81\x43"
           "000\x89\x7E",        // 1，000円
           "\xB6\xC5 \x87\x40",  // ｶﾅ ① (ESC ( I, NEC row 13)
           "10:30",
           "",
           "",
       }},
      {"order-eucjp-quoted-charset.eml",
       csEucJp,
       {
           "\x95\x69\x96\xBC",  // 品名
           "\x90\x94\x97\xCA",  // 数量
           "\x92\x53\x93\x96",  // 担当
           "\x8B\xE0\x8A\x7A",  // 金額
       },
       {
           "\x90\x58\x81\xAC\x8A\x4F\x91\x53\x8F\x57",  // 森〓外全集 (鷗 is JIS X 0212)
           "3",
           "\xC0\xC5\xB6",  // ﾀﾅｶ
           "12\x81\x43"
           "800\x89\x7E",  // 12，800円
       }},
      {"order-shiftjis-charset-first.eml",
       csShiftJis,
       {
           "\x95\x69\x96\xBC",  // 品名
           "\x90\x94\x97\xCA",  // 数量
           "\x94\xF5\x8D\x6C",  // 備考
           "",                  // trailing blank line
       },
       {
           "\x95\x5C\x8E\xA6\x94\xC2\x83\x5C\x83\x74\x83\x67",     // 表示板ソフト
           "1",                                                    //
           "\x87\x41\x94\xD4\x91\x8B\x8C\xFB | \x8C\xDF\x91\x4F",  // ②番窓口 | 午前
           "",
       }},
      {"order-undeclared-charset.eml",
       csOther,
       {"\x95\x69\x96\xBC", "No"},  // 品名: read as ISO-2022-JP by its designations
       {"\x8F\xDD\x96\xFB", "5"}},  // 醤油
  };
  for (const auto& c : cases) {
    for (const auto& line : ReadMailLines(c.file)) parser.Line(line);
    EXPECT_EQ(parser.Charset(), c.mode) << c.file;
    const ParsedMessage message = parser.Finish();
    EXPECT_TRUE(message.picked) << c.file;
    EXPECT_EQ(message.names, c.titles) << c.file;
    EXPECT_EQ(message.values, c.values) << c.file;
  }
}

}  // namespace
}  // namespace vexalo
