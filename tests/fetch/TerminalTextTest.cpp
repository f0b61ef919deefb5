#include <gtest/gtest.h>

#include <string>

#include "fetch/TerminalText.h"

namespace vexalo {
namespace {

TEST(EscapeControls, ShowsEveryControlCharacterButLineFeedAndTab) {
  const struct {
    std::string text;
    std::string shown;
  } cases[] = {
      {"plain text, 日本語", "plain text, 日本語"},
      {"line\nnext\tcolumn", "line\nnext\tcolumn"},
      {std::string("nul\0x", 5), "nul\\x00x"},
      {"\x1b[31mred\x1b[0m", "\\x1B[31mred\\x1B[0m"},
      {"back\bspace\rreturn\x7f", "back\\x08space\\x0Dreturn\\x7F"},
      // C1 controls: U+009B opens a sequence like ESC [ on many terminals.
      {"\xc2\x9b"
       "2J \xc2\x80",
       "\\u009B2J \\u0080"},
      // Neighbours that are no controls stay: U+00A0, U+00E9, and a lone lead byte.
      {"\xc2\xa0 \xc3\xa9 \xc2", "\xc2\xa0 \xc3\xa9 \xc2"},
  };
  for (const auto& c : cases) EXPECT_EQ(EscapeControls(c.text), c.shown) << c.shown;
}

}  // namespace
}  // namespace vexalo
