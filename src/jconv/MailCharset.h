#pragma once

#include <cstdint>
#include <string_view>

namespace vexalo {

// How the text of a message is turned into CP932, by the charset it declares.
// The first four values are those the data model has always had.
enum CharsetMode : uint8_t {
  csIso2022Jp = 0,  // ISO-2022-JP and its -1, -2, -3, -2004 variants: TJisConv
  csShiftJis = 1,   // Shift_JIS, CP932, Windows-31J, x-sjis: already CP932, as is
  csEucJp = 2,      // EUC-JP: TJisConv
  csOther = 3,      // undeclared, US-ASCII or unknown: told apart line by line
  csUtf8 = 4,       // UTF-8
  csIconv = 5,      // any other charset glibc's iconv knows, through UTF-8
};

// The mode for a charset name as a charset parameter gives it (already
// unquoted and trimmed), in any case. Names of no charset give csOther.
CharsetMode CharsetModeOf(std::string_view name);

}  // namespace vexalo
