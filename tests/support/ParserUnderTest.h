#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "mail/MessageParser.h"

namespace vexalo::testing {

// A message parser over its own converter, reading by the rules a run starts
// with by default: the default trigger line and ":" as the separator.
struct ParserUnderTest {
  ParserUnderTest() { SetRules("X-VEXALO: default", ":"); }

  void SetRules(std::string triggerLine, std::string separator) {
    parser.SetRules({std::move(triggerLine), std::move(separator)});
  }

  // One whole message, line by line as the POP3 client hands them over.
  template <typename Lines>
  ParsedMessage Read(const Lines& lines) {
    for (const auto& line : lines) parser.Line(line);
    return parser.Finish();
  }
  ParsedMessage Read(std::initializer_list<std::string_view> lines) {
    return Read<std::initializer_list<std::string_view>>(lines);
  }

  TJisConv jisConv;
  TMessageParser parser{jisConv};
};

}  // namespace vexalo::testing
