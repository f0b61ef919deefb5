#include <gtest/gtest.h>

#include "settings/IniDocument.h"

namespace vexalo {
namespace {

TEST(IniDocument, FindsValuesTheWayTheProfileFunctionsDo) {
  const IniDocument document(
      "HOST=before any section\r\n"
      "[pop3]\r\n"
      "; HOST=commented out\r\n"
      "  Host =  mail.example.jp \t\r\n"
      "host=second line of the key\r\n"
      "PORT=\r\n"
      "no equals sign here\r\n"
      "QUOTED=\" kept \"\r\n"
      "[ MAIL ]\r\n"
      "SPLIT_TOKEN==\r\n"
      "[POP3]\r\n"
      "USERNAME=in a second POP3 section\r\n"
      "[\x83\x41]\r\n"  // ア: its second byte is an "A"
      "KEY=katakana a\r\n");
  const struct {
    const char* section;
    const char* key;
    std::optional<std::string> value;
  } cases[] = {
      {"POP3", "HOST", "mail.example.jp"},  // names match in any case, blanks trimmed
      {"POP3", "PORT", ""},                 // present and empty is not absent
      {"POP3", "QUOTED", "\" kept \""},
      {"MAIL", "SPLIT_TOKEN", "="},        // the first "=" ends the key
      {"POP3", "USERNAME", std::nullopt},  // only the first section of a name counts
      {"MAIL", "HOST", std::nullopt},
      {"NONE", "HOST", std::nullopt},
      {"\x83\x41", "KEY", "katakana a"},
      {"\x83\x61", "KEY", std::nullopt},  // ヂ is another character, not a lower-case ア
  };
  for (const auto& c : cases) {
    EXPECT_EQ(document.Find(c.section, c.key), c.value) << c.section << "/" << c.key;
  }
}

TEST(IniDocument, ReplacesInPlaceAndKeepsEveryOtherByte) {
  IniDocument document(
      "; settings\r\n"
      "[POP3]\r\n"
      "HOST = old.example.jp\r\n"
      "CUSTOM=mine\r\n"
      "\r\n"
      "[MAIL]\r\n"
      "INTERVAL=5");
  document.Set("pop3", "host", "new.example.jp");
  document.Set("MAIL", "INTERVAL", "10");
  EXPECT_EQ(document.Text(),
            "; settings\r\n"
            "[POP3]\r\n"
            "HOST =new.example.jp\r\n"
            "CUSTOM=mine\r\n"
            "\r\n"
            "[MAIL]\r\n"
            "INTERVAL=10");
}

TEST(IniDocument, AddsKeysAtTheEndOfTheirSectionAndSectionsAtTheEnd) {
  IniDocument document(
      "[POP3]\n"
      "HOST=a\n"
      "\n"
      "; mail settings follow\n"
      "[MAIL]\n"
      "DELETE=1");
  document.Set("POP3", "PORT", "110");    // after the last key line, before the gap
  document.Set("MAIL", "INTERVAL", "0");  // the last line had no line end
  document.Set("EXTRA", "KEY", "v");
  EXPECT_EQ(document.Text(),
            "[POP3]\n"
            "HOST=a\n"
            "PORT=110\n"
            "\n"
            "; mail settings follow\n"
            "[MAIL]\n"
            "DELETE=1\n"
            "INTERVAL=0\n"
            "[EXTRA]\n"
            "KEY=v\n");

  IniDocument empty("");
  empty.Set("POP3", "HOST", "");
  empty.Set("POP3", "PORT", "110");
  EXPECT_EQ(empty.Text(), "[POP3]\r\nHOST=\r\nPORT=110\r\n");

  IniDocument headerOnly("[POP3]");
  headerOnly.Set("POP3", "HOST", "h");
  EXPECT_EQ(headerOnly.Text(), "[POP3]\r\nHOST=h\r\n");
}

// Found by fuzzing: a text ending in a CR read "[POP3\r" as no section, so a
// second [POP3] was added after it, and once the CR became part of a CR LF
// the first one hid the key just set.
TEST(IniDocument, ACarriageReturnEndingTheTextReadsAsALineEnd) {
  IniDocument document("[POP3\r");
  document.Set("POP3", "HOST", "h");
  EXPECT_EQ(document.Find("POP3", "HOST"), "h");
  EXPECT_EQ(document.Text(), "[POP3\r\nHOST=h\r\n");
}

TEST(IniDocument, ALineEndInAValueCannotForgeAnotherKey) {
  IniDocument document("[POP3]\r\nHOST=a\r\n");
  document.Set("POP3", "HOST", "evil\r\n[MAIL]\r\nDELETE=1");
  EXPECT_EQ(document.Text(), "[POP3]\r\nHOST=evil  [MAIL]  DELETE=1\r\n");
  EXPECT_EQ(document.Find("MAIL", "DELETE"), std::nullopt);
}

// Editors on other systems start a UTF-8 file with a byte order mark; it
// belongs to no line, so the first section is read, and written to, as such.
TEST(IniDocument, AByteOrderMarkBeforeTheFirstSectionIsSkipped) {
  constexpr char kBom[] = "\xEF\xBB\xBF";
  IniDocument document(std::string(kBom) + "[POP3]\r\nHOST=a\r\n");
  EXPECT_EQ(document.Find("POP3", "HOST"), "a");
  document.Set("POP3", "HOST", "b");
  document.Set("POP3", "PORT", "995");
  EXPECT_EQ(document.Text(), std::string(kBom) + "[POP3]\r\nHOST=b\r\nPORT=995\r\n");

  IniDocument markOnly(kBom);
  markOnly.Set("POP3", "HOST", "h");
  EXPECT_EQ(markOnly.Text(), std::string(kBom) + "[POP3]\r\nHOST=h\r\n");
  EXPECT_EQ(markOnly.Find("POP3", "HOST"), "h");

  // Only at the very start: elsewhere the bytes are part of their line.
  const IniDocument later(std::string("[POP3]\r\n") + kBom + "HOST=a\r\n");
  EXPECT_EQ(later.Find("POP3", "HOST"), std::nullopt);
}

}  // namespace
}  // namespace vexalo
