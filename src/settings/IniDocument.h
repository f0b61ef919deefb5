#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace vexalo {

// The text of an INI file, read and edited the way the profile functions the
// settings file was made for do it:
// - a line "[name]" opens a section; "key=value" lines belong to the section
//   above them; every other line (comments, blank lines, lines before the
//   first section, lines without "=") is kept but never read;
// - section and key names match without regard to ASCII case (the bytes of a
//   double-byte character match exactly); only the first section of a name
//   counts, and in it the first line of a key;
// - names and values lose blanks (space, tab) at both ends on reading;
//   quotation marks are kept as they are;
// - a line ends at LF, and a CR right before it belongs to the line end;
// - a UTF-8 byte order mark at the very start of the text belongs to no line.
// Setting a value touches one line and leaves every other byte as it was; a
// new line gets the line end the text already uses (CR LF for a text without
// one).
class IniDocument {
 public:
  explicit IniDocument(std::string text) : text_(std::move(text)) {}

  // The value of `key` in `section`, or nothing when either is absent.
  std::optional<std::string> Find(std::string_view section, std::string_view key) const;

  // Replaces the value of a present key in place, or adds "key=value" after
  // the last key line of the section (right after its header when it has
  // none), or adds the section with the key at the end of the text. A CR or
  // LF inside `value` is written as a blank, so a value can never break its
  // line or forge another key. `section` and `key` are the program's own
  // names: no line ends, no "]" or "=" in them.
  void Set(std::string_view section, std::string_view key, std::string_view value);

  const std::string& Text() const { return text_; }

 private:
  std::string text_;
};

}  // namespace vexalo
