#pragma once

#include <string>
#include <string_view>

namespace vexalo {

// Unicode text of any mail charset into CP932, for the rows a message gives.
// The codes come from glibc iconv's "CP932" table, read once per process
// into a table of our own, so a character costs one look-up instead of a
// call into iconv. The characters Japanese text is written with on other
// systems (WAVE DASH U+301C, DOUBLE VERTICAL LINE U+2016, MINUS SIGN U+2212,
// EM DASH U+2014, ¢ £ ¬) get the codes of their CP932 look-alikes, as that
// table gives them, so "〜" typed on a phone stays "～".
//
// Nothing fails: a character CP932 does not have becomes the geta mark 〓
// (0x81 0xAC), and so does each piece of the input that is not well-formed
// UTF-8 (a byte that starts no character, or a lead byte with the
// continuation bytes that did follow it). The output is always valid CP932.

// Appends the CP932 form of `utf8` to `out`.
void AppendUtf8AsCp932(std::string& out, std::string_view utf8);

// Appends the CP932 form of one character; a value that is no character
// (a surrogate, beyond U+10FFFF) becomes the geta mark too.
void AppendCodePointAsCp932(std::string& out, char32_t codePoint);

// Whether `text` is well-formed UTF-8 throughout.
bool IsWellFormedUtf8(std::string_view text);

}  // namespace vexalo
