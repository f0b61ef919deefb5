// A whole mail through the message parser as a run feeds it: header, trigger
// line, charset, and the body lines decoded and split into items, then
// written into the table. The separator and the trigger come from the input's
// first bytes, so both odd settings and odd mail are tried.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "jconv/Cp932Codec.h"
#include "jconv/JisConv.h"
#include "processing/DataTable.h"
#include "processing/MessageParser.h"
#include "settings/SettingsFields.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  vexalo::PlainSettingsFields fields;
  fields.splitToken = std::string(1, static_cast<char>(data[0]));
  fields.headerToken = data[1] % 2 == 0 ? "X-VEXALO: default" : "";
  std::string_view mail(reinterpret_cast<const char*>(data) + 2, size - 2);

  vexalo::DataTable table;
  const vexalo::TJisConv jisConv;
  vexalo::CellPoint cellPos;
  vexalo::MessageState state;
  vexalo::TMessageParser parser(table, fields, jisConv, cellPos, state);
  parser.ResetMessageState();
  while (!mail.empty()) {
    const size_t end = mail.find("\r\n");
    const std::string_view line = mail.substr(0, end);
    parser.ProcessMessageLine(line, "UID,1", "2024/06/04 10:20:00");
    // The conversions on their own, as the display and the settings use them.
    vexalo::Cp932ToUtf8(vexalo::Utf8ToCp932(line));
    if (end == std::string_view::npos) break;
    mail.remove_prefix(end + 2);
  }
  parser.FinishMessage("UID,1", "2024/06/04 10:20:00");
  parser.WriteItems();
  return 0;
}
