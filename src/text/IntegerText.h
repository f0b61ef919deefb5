#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace vexalo {

// The platform's reading of a text as a 32-bit integer: leading blanks, an
// optional sign, then decimal digits, or hexadecimal digits after "$", "x" or
// "0x" (either case); nothing may follow the digits. Decimal values must fit
// the signed range; hexadecimal ones may use all 32 bits ("$FFFFFFFF" is -1).
// Empty text, a prefix without digits, trailing blanks or any other character
// give nothing.
std::optional<int32_t> TextToInteger(std::string_view text);

}  // namespace vexalo
