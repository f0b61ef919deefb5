#include <gtest/gtest.h>

#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "MailLines.h"
#include "ParserUnderTest.h"
#include "processing/MessageParser.h"
#include "text/CommFuncs.h"

namespace vexalo {
namespace {

using testing::ReadMailLines;

constexpr std::string_view kStamp = "2024/06/04 10:20:00";
constexpr std::string_view kUidl = "UID-0001";
constexpr std::string_view kTrigger = "X-VEXALO: default";

class MessageParserTest : public ::testing::Test, protected testing::ParserUnderTest {
 protected:
  void Feed(std::initializer_list<std::string_view> lines) {
    for (const std::string_view line : lines) parser.ProcessMessageLine(line, kUidl, kStamp);
    parser.WriteItems();
  }

  void FeedPickedHeader() { Feed({"Subject: order", kTrigger, ""}); }

  std::string Prefix() const { return std::string(kStamp) + "," + std::string(kUidl); }
};

TEST_F(MessageParserTest, ResetStartsAMessage) {
  state.TriggerFound = true;
  state.InHeader = false;
  state.Charset = csEucJp;
  state.RowText = "x";
  cellPos = {5, 7};
  parser.ResetMessageState();
  EXPECT_FALSE(state.TriggerFound);
  EXPECT_TRUE(state.InHeader);
  EXPECT_EQ(state.Charset, csOther);
  EXPECT_EQ(state.RowText, "");
  EXPECT_EQ(cellPos.X, 5);
  EXPECT_EQ(cellPos.Y, 7);
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
    fields.headerToken = c.setting;
    parser.ResetMessageState();
    for (const auto& line : c.header) Feed({line});
    Feed({""});
    EXPECT_EQ(state.TriggerFound, c.found) << c.what;
    EXPECT_FALSE(state.InHeader) << c.what;
  }
}

TEST_F(MessageParserTest, HeaderEndsAtTheFirstLineThatIsBlankWhenTrimmed) {
  Feed({kTrigger, "Subject: a:b"});
  EXPECT_TRUE(state.InHeader);
  EXPECT_EQ(table.Cell(2, 0), "");  // header lines are no items
  Feed({" \t", kTrigger, "a:b"});
  EXPECT_FALSE(state.InHeader);
  EXPECT_EQ(table.Cell(2, 0), kTrigger.substr(0, 8));  // body lines are items, trigger or not
  EXPECT_EQ(table.Cell(3, 0), "a");
}

TEST_F(MessageParserTest, BodyOfAMessageWithoutTriggerLeavesNoTrace) {
  Feed({"Subject: no trigger", "", "a:b", "X-VEXALO: default", ""});
  EXPECT_EQ(cellPos.X, 2);
  EXPECT_EQ(state.RowText, "");
  EXPECT_EQ(table.Cell(2, 0), "");
  EXPECT_EQ(table.Cell(2, 1), "");
}

TEST_F(MessageParserTest, MessageEndingInItsHeaderTakesNoItems) {
  Feed({kTrigger, "a:b", "c:d"});
  EXPECT_TRUE(state.InHeader);
  EXPECT_EQ(cellPos.X, 2);
  EXPECT_EQ(state.RowText, "");
}

// One body line after a picked header: what lands in the title cell, the
// working cell and RowText.
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
      {",", "a,b",
       "a\x81\x43"
       "b",
       "", "comma separator never splits"},
      {"", "a:b", "a:b", "", "empty separator never splits"},
      {"::", "a::b", "a::b", "", "two-byte separator never splits"},
      {"|", "\x83\x7C|x", "\x83\x7C", "x", "separator byte inside a character is skipped"},
      {"=", "a=b", "a", "b", "other one-byte separator"},
  };
  for (const auto& c : cases) {
    table = DataTable();
    cellPos = CellPoint();
    fields.splitToken = c.separator;
    parser.ResetMessageState();
    FeedPickedHeader();
    Feed({c.line});
    EXPECT_EQ(table.Cell(2, 0), c.name) << c.what;
    EXPECT_EQ(table.Cell(2, 1), c.value) << c.what;
    EXPECT_EQ(state.RowText, Prefix() + "," + c.value) << c.what;
    EXPECT_EQ(cellPos.X, 3) << c.what;
  }
}

TEST_F(MessageParserTest, CommentLinesLeaveNoTrace) {
  const char* comments[] = {"%:\x83\x52\x83\x81\x83\x93\x83\x67", "%", " % :more text", "%:"};
  FeedPickedHeader();
  for (const char* line : comments) Feed({line});
  EXPECT_EQ(cellPos.X, 2);
  EXPECT_EQ(state.RowText, "");  // a body of comments only gives no row text
  EXPECT_EQ(table.Cell(2, 0), "");
  EXPECT_EQ(table.Cell(2, 1), "");
}

TEST_F(MessageParserTest, ItemsFillColumnsByPositionAndBuildRowText) {
  table.SetCell(2, 0, "old title");
  table.SetCell(3, 0, "kept?");
  cellPos = {2, 4};
  FeedPickedHeader();
  Feed({"a:1", "%:comment", ":2", "", "signature"});
  EXPECT_EQ(cellPos.X, 6);
  const char* titles[] = {"a", "", "", "signature"};
  const char* values[] = {"1", "2", "", ""};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(table.Cell(2 + i, 0), titles[i]) << i;  // titles are replaced, never looked up
    EXPECT_EQ(table.Cell(2 + i, 4), values[i]) << i;
  }
  EXPECT_EQ(state.RowText, Prefix() + ",1,2,,");
  EXPECT_EQ(table.ColCount(), DataTable::kInitialColCount);  // the run sets it on commit
}

TEST_F(MessageParserTest, UniqueIdCommasAreEscapedInRowText) {
  FeedPickedHeader();
  parser.ProcessMessageLine("a:1", "id,with,commas", kStamp);
  EXPECT_EQ(state.RowText, std::string(kStamp) +
                               ",id\x81\x43with\x81\x43"
                               "commas,1");
}

TEST_F(MessageParserTest, SeparatorIsReadForEveryLine) {
  FeedPickedHeader();
  Feed({"a:1=2"});
  fields.splitToken = "=";
  Feed({"a:1=2"});
  EXPECT_EQ(table.Cell(2, 1), "1=2");
  EXPECT_EQ(table.Cell(3, 1), "2");
  EXPECT_EQ(table.Cell(3, 0), "a:1");
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
      parser.ResetMessageState();
      for (const auto& line : c.header) Feed({upper ? UpperAscii(line) : line});
      EXPECT_EQ(state.Charset, c.mode) << c.what << (upper ? " (upper case)" : "");
      Feed({""});
      EXPECT_EQ(state.Charset, c.mode) << c.what;
    }
  }
}

TEST_F(MessageParserTest, ContinuationNeverReachesIntoTheNextMessage) {
  Feed({"Content-Type: text/plain;"});  // the message ends inside its header
  parser.ResetMessageState();
  Feed({" charset=euc-jp"});
  EXPECT_EQ(state.Charset, csOther);
}

TEST_F(MessageParserTest, ContentTypeIsReadUpToItsCap) {
  Feed({"Content-Type: text/plain;"});
  const std::string filler = " x-filler=" + std::string(1000, 'a') + ";";
  for (int i = 0; i < 20; ++i) Feed({filler});
  Feed({" charset=iso-2022-jp"});
  EXPECT_EQ(state.Charset, csOther);  // 20 KB into the header: past the cap
  Feed({"Content-Type: text/plain;"});
  for (int i = 0; i < 10; ++i) Feed({filler});
  Feed({" charset=iso-2022-jp", ""});
  EXPECT_EQ(state.Charset, csIso2022Jp);
  EXPECT_FALSE(state.InHeader);
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
    cellPos = CellPoint();
    parser.ResetMessageState();
    Feed({c.contentType});
    FeedPickedHeader();
    Feed({c.line});
    EXPECT_EQ(table.Cell(2, 1), c.value) << c.contentType;
  }
}

TEST_F(MessageParserTest, HeaderLinesAreNeverDecoded) {
  fields.headerToken = "X-\xA4\xA2";  // compared as it stands, not as EUC-JP
  Feed({"Content-Type: text/plain; charset=euc-jp", "X-\xA4\xA2", ""});
  EXPECT_TRUE(state.TriggerFound);
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
       {"\x8F\xDD\x96\xFB", "5"}},   // 醤油
  };
  for (const auto& c : cases) {
    table = DataTable();
    cellPos = CellPoint();
    parser.ResetMessageState();
    for (const auto& line : ReadMailLines(c.file)) Feed({line});
    EXPECT_EQ(state.Charset, c.mode) << c.file;
    EXPECT_TRUE(state.TriggerFound) << c.file;
    std::string rowText = Prefix();
    for (size_t i = 0; i < c.titles.size(); ++i) {
      const int col = 2 + static_cast<int>(i);
      EXPECT_EQ(table.Cell(col, 0), c.titles[i]) << c.file << " column " << col;
      EXPECT_EQ(table.Cell(col, 1), c.values[i]) << c.file << " column " << col;
      rowText += "," + c.values[i];
    }
    EXPECT_EQ(cellPos.X, 2 + static_cast<int>(c.titles.size())) << c.file;
    EXPECT_EQ(state.RowText, rowText) << c.file;
  }
}

}  // namespace
}  // namespace vexalo
