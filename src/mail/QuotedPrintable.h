#pragma once

#include <string>
#include <string_view>

namespace vexalo {

// One line of quoted-printable text (without its line end) decoded and
// appended to `out`. "=XY" with two hex digits (either case) is that byte;
// an "=" not followed by two hex digits is kept as written, with what follows
// it. Blanks and tabs at the end of the line are transport padding and
// dropped. Returns true when the line ends in "=", a soft line break: the
// line goes on in the next one, and that "=" is not written.
//
// With `underscoreIsSpace` (the "Q" form of encoded words in a header) an
// underscore stands for a blank.
bool DecodeQuotedPrintableLine(std::string_view line, std::string& out,
                               bool underscoreIsSpace = false);

}  // namespace vexalo
