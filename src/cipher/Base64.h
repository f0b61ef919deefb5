#pragma once

#include <string>
#include <string_view>

namespace vexalo {

// Base64 with the standard alphabet "A-Z a-z 0-9 + /" and "=" padding, no
// line breaks. Bytes and text are both held in std::string.

// 4 * ceil(n / 3) characters; the unused low bits before the padding are 0.
std::string Base64Encode(std::string_view bytes);

// Raises std::runtime_error("Base64: Incorrect string format") when the
// length of `text` is not a multiple of 4. Otherwise no character is
// rejected: anything outside "A-Z a-z 0-9 +" counts as 63, like "/". Every
// group of four gives three bytes except the last, which gives one byte when
// its third character is "=", else two when its fourth is "=", else three.
std::string Base64Decode(std::string_view text);

}  // namespace vexalo
