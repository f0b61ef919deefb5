#include <gtest/gtest.h>

#include <stdexcept>

#include "ModalBoxCatcher.h"
#include "app/MessageBoxes.h"

namespace vexalo {
namespace {

TEST(MessageBoxesTest, ErrorTextGetsAFullStopAfterCharactersAboveIt) {
  struct Case {
    const char* message;
    const char* shown;
  };
  const Case cases[] = {
      {"", ""},
      {"Done.", "Done."},
      {"abc", "abc."},
      {"code 10061", "code 10061."},  // digits sort after "."
      {"what?", "what?."},
      {"Stop!", "Stop!"},  // "!" sorts before "."
      {"a-", "a-"},
      {"x/", "x/."},
      // "'abc' は整数ではありません": ends in a double-byte character.
      {"'abc' \x82\xcd\x90\xae\x90\x94\x82\xc5\x82\xcd\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1",
       "'abc' \x82\xcd\x90\xae\x90\x94\x82\xc5\x82\xcd\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1."},
      // Ends in the ideographic full stop: it is a character above "." too.
      {"\x8a\xae\x97\xb9\x81\x42", "\x8a\xae\x97\xb9\x81\x42."},
  };
  for (const Case& c : cases) EXPECT_EQ(ErrorBoxText(c.message), c.shown) << c.message;
}

TEST(MessageBoxesTest, EscapedErrorIsShownInTheErrorBoxAndGoesNoFurther) {
  ModalBoxCatcher boxes;
  bool after = false;
  CallShowingErrors(nullptr, [] { throw std::runtime_error("\x83\x5e\x83\x43\x83\x7d\x81\x5b"); });
  after = true;
  ASSERT_EQ(boxes.Seen().size(), 1u);
  EXPECT_EQ(boxes.Seen()[0].title, "Vexalo");
  EXPECT_EQ(boxes.Seen()[0].text, QStringLiteral("タイマー."));
  EXPECT_EQ(boxes.Seen()[0].icon, QMessageBox::Critical);
  EXPECT_TRUE(after);
}

TEST(MessageBoxesTest, HandlerThatSucceedsShowsNothing) {
  ModalBoxCatcher boxes;
  bool ran = false;
  CallShowingErrors(nullptr, [&] { ran = true; });
  EXPECT_TRUE(ran);
  EXPECT_TRUE(boxes.Seen().empty());
}

TEST(MessageBoxesTest, PlainBoxShowsLinesWithoutIconOrFullStop) {
  ModalBoxCatcher boxes;
  ShowMessageBox(nullptr, "one\r\ntwo");
  ASSERT_EQ(boxes.Seen().size(), 1u);
  EXPECT_EQ(boxes.Seen()[0].title, "Vexalo");
  EXPECT_EQ(boxes.Seen()[0].text, "one\ntwo");
  EXPECT_EQ(boxes.Seen()[0].icon, QMessageBox::NoIcon);
}

TEST(MessageBoxesTest, QuestionBoxSaysYesOnlyWhenYesIsChosen) {
  ModalBoxCatcher boxes;
  EXPECT_FALSE(AskYesNo(nullptr, "trust?"));  // closed without choosing
  boxes.AnswerWith(QMessageBox::No);
  EXPECT_FALSE(AskYesNo(nullptr, "trust?"));
  boxes.AnswerWith(QMessageBox::Yes);
  EXPECT_TRUE(AskYesNo(nullptr, "one\r\ntrust?"));
  ASSERT_EQ(boxes.Seen().size(), 3u);
  EXPECT_EQ(boxes.Seen()[2].title, "Vexalo");
  EXPECT_EQ(boxes.Seen()[2].text, "one\ntrust?");
  EXPECT_EQ(boxes.Seen()[2].icon, QMessageBox::Question);
}

}  // namespace
}  // namespace vexalo
