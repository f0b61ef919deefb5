// A whole mail through the message parser as a run feeds it: header, trigger
// line, charset, and the body lines decoded and split into items. The
// separator and the trigger come from the input's first bytes, so both odd
// settings and odd mail are tried. What comes out must keep to one field of
// an AllData.csv line each: no comma in any item, no more items than the cap.
// (A lone CR or LF inside a line is the file writer's to blank.)

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "jconv/Cp932Codec.h"
#include "jconv/JisConv.h"
#include "mail/MessageParser.h"

namespace {

bool SplitsTheField(const std::string& item) { return item.find(',') != std::string::npos; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const vexalo::TJisConv jisConv;
  vexalo::TMessageParser parser(jisConv);
  parser.SetRules(
      {data[1] % 2 == 0 ? "X-VEXALO: default" : "", std::string(1, static_cast<char>(data[0]))});
  std::string_view mail(reinterpret_cast<const char*>(data) + 2, size - 2);
  while (!mail.empty()) {
    const size_t end = mail.find("\r\n");
    const std::string_view line = mail.substr(0, end);
    parser.Line(line);
    // The conversions on their own, as the display and the settings use them.
    vexalo::Cp932ToUtf8(vexalo::Utf8ToCp932(line));
    if (end == std::string_view::npos) break;
    mail.remove_prefix(end + 2);
  }
  const vexalo::ParsedMessage message = parser.Finish();
  if (message.names.size() != message.values.size() ||
      message.values.size() > static_cast<size_t>(vexalo::kMaxItemsPerMessage)) {
    __builtin_trap();
  }
  // By name, these indexes pick the lines that are no items: each must be one.
  for (size_t i = 0; i < message.bareLines.size(); ++i) {
    if (message.bareLines[i] >= message.names.size()) __builtin_trap();
    if (i > 0 && message.bareLines[i] <= message.bareLines[i - 1]) __builtin_trap();
  }
  for (const auto* items : {&message.names, &message.values}) {
    for (const std::string& item : *items) {
      if (SplitsTheField(item)) __builtin_trap();
    }
  }
  return 0;
}
