// Order mail as mailers send it today, fed to the parser line by line as the
// POP3 client hands it over: each row compared byte for byte, the expected
// CP932 written as UTF-8 and converted by glibc's iconv.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MailLines.h"
#include "ParserUnderTest.h"
#include "Sjis.h"
#include "mail/MessageParser.h"

namespace vexalo {
namespace {

using testing::ReadMailLines;
using testing::Sjis;

constexpr std::string_view kGeta = "\x81\xAC";

// A fixture of this test's own folder.
std::vector<std::string> MimeMail(const std::string& name) { return ReadMailLines("mime/" + name); }

struct Item {
  std::string name;
  std::string value;
};

// The order every form fixture carries, as its row must read.
std::vector<Item> OrderItems() {
  return {{Sjis("品名"), Sjis("薄口しょうゆ")},
          {Sjis("数量"), "2"},
          {Sjis("金額"), Sjis("1，000円")},
          {Sjis("備考"), Sjis("～午前中に配達希望")}};
}

class MimeMailTest : public ::testing::Test, protected testing::ParserUnderTest {
 protected:
  void Parse(const std::vector<std::string>& lines) { message = Read(lines); }

  void ExpectRow(const std::vector<Item>& items, const std::string& what) {
    EXPECT_TRUE(message.picked) << what;
    std::vector<std::string> names;
    std::vector<std::string> values;
    for (const Item& item : items) {
      names.push_back(item.name);
      values.push_back(item.value);
    }
    EXPECT_EQ(message.names, names) << what;
    EXPECT_EQ(message.values, values) << what;
  }

  ParsedMessage message;
};

TEST_F(MimeMailTest, EveryFormOfTheSameOrderGivesTheSameRow) {
  const char* files[] = {
      "utf8-8bit.eml",                 // raw UTF-8
      "utf8-base64-no-final-eol.eml",  // the last line has no line end
      "alternative-utf8.eml",          // quoted-printable text, base64 HTML twin
      "alternative-iso2022jp.eml",     // the classic Apple Mail form
      "form-with-pdf-attachment.eml",  // a base64 PDF whose bytes hold "--" lines
      "nested-mixed-alternative.eml",  // mixed > alternative, preamble, image
      "undeclared-utf8.eml",           // no Content-Type, byte-order mark first
  };
  for (const char* file : files) {
    Parse(MimeMail(file));
    ExpectRow(OrderItems(), file);
  }
}

TEST_F(MimeMailTest, QuotedPrintableJoinsSoftBreaksAndKeepsBrokenEscapes) {
  Parse(MimeMail("utf8-quoted-printable.eml"));
  std::vector<Item> items = OrderItems();
  items.back().value =
      Sjis("～午前中に配達希望、玄関前に置いてください。不在の場合は宅配ボックスへお願いします");
  items.push_back({Sjis("式"), "a=b =ZZ =4"});
  ExpectRow(items, "quoted-printable");
}

TEST_F(MimeMailTest, HtmlOnlyTextIsWhatABrowserShows) {
  // The HTML part comes first, then two text/plain parts that are files.
  Parse(MimeMail("html-with-text-attachments.eml"));
  std::vector<Item> items = OrderItems();
  items.back().value = Sjis("<午前> & \"至急\" ～");
  ExpectRow(items, "html");
}

TEST_F(MimeMailTest, CharactersCp932LacksBecomeGetaMarksAndLookAlikesTheirCodes) {
  Parse(MimeMail("characters-cp932-lacks.eml"));
  const std::string geta(kGeta);
  ExpectRow({{Sjis("記号"), "\x81\x60\x81\x7C\x81\x61\x81\x5C\x81\x91\x81\x92\x81\xCA"},
             {Sjis("絵文字"), geta + Sjis("と") + geta},
             {Sjis("他"), geta + geta + geta + geta}},
            "characters");
}

TEST_F(MimeMailTest, EncodedSubjectServesAsTheTriggerLine) {
  SetRules(Sjis("Subject: ご注文フォーム"), ":");
  Parse(MimeMail("encoded-word-subject-trigger.eml"));
  ExpectRow(OrderItems(), "UTF-8 base64 word");
  SetRules(Sjis("SUBJECT: ご注文フォーム"), ":");
  Parse(MimeMail("encoded-word-subject-jis-trigger.eml"));
  ExpectRow({OrderItems().front()}, "ISO-2022-JP B and Q words, blank between them dropped");

  SetRules("Subject: =?UTF-8?B?44GU5rOo5paH44OV44Kp44O844Og?=", ":");
  Parse(MimeMail("encoded-word-subject-trigger.eml"));
  EXPECT_TRUE(message.picked) << "matching undecoded still matches";
  SetRules(Sjis("Subject: ご注文"), ":");
  Parse(MimeMail("encoded-word-subject-trigger.eml"));
  EXPECT_FALSE(message.picked) << "still compared whole";
}

// Bodies built here, where the shape of the message is the point.
TEST_F(MimeMailTest, MessageStructures) {
  struct Case {
    std::vector<std::string> lines;
    std::vector<Item> items;
    const char* what;
  };
  const std::string trigger = "X-VEXALO: default";
  const Case cases[] = {
      {{trigger, "Content-Type: multipart/mixed; boundary=b", "", "--b",
        "Content-Type: application/pdf", "Content-Transfer-Encoding: base64", "",
        "JVBERi0=", "--b--"},
       {},
       "no text part: no items"},
      {{trigger, "Content-Type: multipart/mixed", "", "a:1", "--b", "", "c:2"},
       {},
       "multipart without a boundary: no items"},
      {{trigger, "Content-Type: multipart/mixed; boundary=b", "", "--b", "", "a:1", "--b  ",
        "Content-Type: text/plain", "", "c:2", "--b--"},
       {{"a", "1"}},
       "part without a header is text/plain; padded delimiter"},
      {{trigger, "Content-Type: multipart/mixed; boundary=o", "", "--o",
        "Content-Type: multipart/alternative; boundary=i", "", "--i", "Content-Type: text/html", "",
        "<p>h:1</p>", "--o", "Content-Type: text/plain", "", "p:2", "--o--"},
       {{"p", "2"}},
       "the outer delimiter closes the inner part; plain after HTML wins"},
      {{trigger, "Content-Type: multipart/mixed; boundary=o", "", "--o", "Content-Type: text/html",
        "", "<p>h:1</p>", "--o", "Content-Type: image/gif", "", "p:2", "--o--", "after:3"},
       {{"h", "1"}},
       "HTML held until the outermost multipart closes"},
      {{trigger, "Content-Type: text/html; charset=utf-8", "", "<b>a</b>:1<br>b:&#x1F385;"},
       {{"a", "1"}, {"b", std::string(kGeta)}},
       "single-part HTML; its last line taken at the end"},
      {{trigger, "Content-Type: multipart/alternative; boundary=\"x\"", "", "--x",
        "Content-Type: text/plain; charset=ISO-8859-1",
        "Content-Transfer-Encoding: QUOTED-PRINTABLE", "", "prix:5=A3 caf=E9", "--x--"},
       {{"prix", "5\x81\x92 caf" + std::string(kGeta)}},
       "charset through iconv, upper-case encoding name"},
  };
  for (const auto& c : cases) {
    Parse(c.lines);
    ExpectRow(c.items, c.what);
  }
}

}  // namespace
}  // namespace vexalo
