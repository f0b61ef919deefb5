#pragma once

#include <string>
#include <string_view>

namespace vexalo {

// Text routines shared by the parser, the run and the data files. All texts
// are CP932 bytes; every comparison elsewhere is a plain byte-wise ==.

// Removes the bytes 0x00-0x20 from both ends. Inline: loading the data file
// trims every field of a million lines.
inline std::string_view TrimText(std::string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= 0x20) ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 0x20) --end;
  return text.substr(begin, end - begin);
}

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

// Makes the lines appended to the file at `path` durable: the file's data and
// its entry in its folder are on stable storage when the call returns, so they
// survive a crash or a power cut from then on. Raises EInOutError when the file
// or its folder cannot be opened or the system reports a failure.
void SyncFile(const std::string& path);

// Every ASCII comma becomes the full-width comma (0x81 0x43), which is safe
// byte-wise because 0x2C is never the second byte of a double-byte character.
std::string EscapeCommas(std::string_view text);

}  // namespace vexalo
