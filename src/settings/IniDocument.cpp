#include "settings/IniDocument.h"

#include <algorithm>

#include "text/CommFuncs.h"

namespace vexalo {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

unsigned char FoldAscii(unsigned char c) {
  return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

// ASCII letters match either case; the second byte of a double-byte
// character is compared exactly, as it is no letter even when its value is.
bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto ca = static_cast<unsigned char>(a[i]), cb = static_cast<unsigned char>(b[i]);
    if (FoldAscii(ca) != FoldAscii(cb)) return false;
    if (IsSjisLeadByte(ca) && i + 1 < a.size()) {
      ++i;
      if (a[i] != b[i]) return false;
    }
  }
  return true;
}

// What an editor may put before the first line of a UTF-8 file; no part of
// any line.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::size_t FirstLineStart(const std::string& text) {
  return text.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
}

// One line of the text: [begin, end) is its content, next is where the
// following line starts (after LF, or the end of the text).
struct Line {
  std::size_t begin, end, next;
};

Line LineAt(const std::string& text, std::size_t begin) {
  const std::size_t lf = text.find('\n', begin);
  if (lf == std::string::npos) {
    // A CR that ends the text is half a line end, as it will be once a line
    // is added after it: read the line the same way before and after.
    const std::size_t end =
        text.size() > begin && text.back() == '\r' ? text.size() - 1 : text.size();
    return {begin, end, text.size()};
  }
  const std::size_t end = lf > begin && text[lf - 1] == '\r' ? lf - 1 : lf;
  return {begin, end, lf + 1};
}

std::string_view ContentOf(const std::string& text, const Line& line) {
  return std::string_view(text).substr(line.begin, line.end - line.begin);
}

// The section name of a header line, or nothing for any other line.
std::optional<std::string_view> SectionNameOf(std::string_view content) {
  content = TrimBlanks(content);
  if (content.empty() || content.front() != '[') return std::nullopt;
  content.remove_prefix(1);
  return TrimBlanks(content.substr(0, content.find(']')));
}

// What the first section named `section` holds for `key`.
struct SectionSpan {
  std::size_t afterLastKey;              // where a new key line goes
  std::optional<Line> keyLine;           // the first line of the key
  std::optional<std::size_t> keyEquals;  // the offset of its "="
};

std::optional<SectionSpan> FindSection(const std::string& text, std::string_view section,
                                       std::string_view key) {
  std::optional<SectionSpan> span;
  for (std::size_t at = FirstLineStart(text); at < text.size();) {
    const Line line = LineAt(text, at);
    at = line.next;
    const std::string_view content = ContentOf(text, line);
    if (const auto name = SectionNameOf(content)) {
      if (span) break;  // the section ended
      if (SameName(*name, section)) span = SectionSpan{line.next, std::nullopt, std::nullopt};
      continue;
    }
    if (!span) continue;
    const std::size_t equals = content.find('=');
    if (equals == std::string_view::npos) continue;
    span->afterLastKey = line.next;
    if (!span->keyLine && SameName(TrimBlanks(content.substr(0, equals)), key)) {
      span->keyLine = line;
      span->keyEquals = line.begin + equals;
    }
  }
  return span;
}

std::string LineEndOf(const std::string& text) {
  const std::size_t lf = text.find('\n');
  if (lf != std::string::npos && (lf == 0 || text[lf - 1] != '\r')) return "\n";
  return "\r\n";
}

std::string OneLine(std::string_view value) {
  std::string line(value);
  std::replace_if(
      line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  return line;
}

}  // namespace

std::optional<std::string> IniDocument::Find(std::string_view section, std::string_view key) const {
  const auto span = FindSection(text_, section, key);
  if (!span || !span->keyLine) return std::nullopt;
  const std::string_view content = ContentOf(text_, *span->keyLine);
  return std::string(TrimBlanks(content.substr(*span->keyEquals - span->keyLine->begin + 1)));
}

void IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
  const auto span = FindSection(text_, section, key);
  if (span && span->keyLine) {
    const std::size_t valueBegin = *span->keyEquals + 1;
    text_.replace(valueBegin, span->keyLine->end - valueBegin, OneLine(value));
    return;
  }
  const std::string lineEnd = LineEndOf(text_);
  const std::size_t at = span ? span->afterLastKey : text_.size();
  std::string added;
  // The line before may be the last of the text and end without a line end,
  // or with the CR of one.
  const bool firstLine = at <= FirstLineStart(text_);
  if (!firstLine && text_[at - 1] == '\r') {
    added.append("\n");
  } else if (!firstLine && text_[at - 1] != '\n') {
    added.append(lineEnd);
  }
  if (!span) added.append("[").append(section).append("]").append(lineEnd);
  added.append(key).append("=").append(OneLine(value)).append(lineEnd);
  text_.insert(at, added);
}

}  // namespace vexalo
