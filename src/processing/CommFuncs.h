#pragma once

#include <string>
#include <string_view>

namespace vexalo {

// Text routines shared by the parser, the run and the data files. All texts
// are CP932 bytes; every comparison elsewhere is a plain byte-wise ==.

// Removes the bytes 0x00-0x20 from both ends.
std::string_view TrimText(std::string_view text);

// Upper-cases the bytes a-z, byte by byte, like the comparisons it serves
// (both sides of a case-blind compare go through it the same way).
std::string UpperAscii(std::string_view text);

struct SplitText {
  std::string name;   // before the first token, trimmed
  std::string value;  // after it, trimmed; later tokens stay in it
};

// Splits `text` at the first occurrence of the one-byte `token`. An empty token
// or one of two or more bytes never matches: the name is then the whole text.
// A token byte that can also be the second byte of a double-byte character
// (0x40-0x7E, 0x80-0xFC) only matches outside such characters, so Japanese
// text is never cut in half.
SplitText SplitAtToken(std::string_view text, std::string_view token);

// Appends `text` as one line to the file at `path`, creating the file when it
// is missing: the text, then CR LF, written and the file closed before the
// call returns. A CR, LF or 0x1A inside the text becomes a blank, since any of
// them would cut the line, or the whole file, when it is read back. When the
// file's last byte is neither CR nor LF (a file finished by hand without a
// line end), a CR LF goes first, so the text never joins the line before it.
// Raises EInOutError when the file cannot be opened or written; bytes
// already written stay.
void AppendLine(const std::string& path, std::string_view text);

// Every ASCII comma becomes the full-width comma (0x81 0x43), which is safe
// byte-wise because 0x2C is never the second byte of a double-byte character.
std::string EscapeCommas(std::string_view text);

}  // namespace vexalo
