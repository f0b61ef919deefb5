#include "mail/HtmlText.h"

#include <algorithm>

#include "jconv/UnicodeToCp932.h"
#include "text/CommFuncs.h"

namespace vexalo {

namespace {

constexpr size_t kMaxTagBytes = 64;     // enough for a name; attributes are never read
constexpr size_t kMaxEntityBytes = 10;  // "#x10FFFF" and the names we know fit

constexpr std::string_view kBlockNames[] = {
    "P",    "DIV",    "TR",      "LI",         "TABLE",   "UL",      "OL",     "DL",     "DT",
    "DD",   "H1",     "H2",      "H3",         "H4",      "H5",      "H6",     "PRE",    "HR",
    "FORM", "CENTER", "ADDRESS", "BLOCKQUOTE", "SECTION", "ARTICLE", "HEADER", "FOOTER", "NAV",
    "BODY", "HTML",   "TBODY",   "THEAD",      "TFOOT",   "CAPTION",
};

struct HiddenElement {
  std::string_view name;
  std::string_view endTag;
};
constexpr HiddenElement kHiddenElements[] = {
    {"STYLE", "</STYLE"}, {"SCRIPT", "</SCRIPT"}, {"TITLE", "</TITLE"}};

struct NamedEntity {
  std::string_view name;
  std::string_view text;
};
constexpr NamedEntity kNamedEntities[] = {{"AMP", "&"},   {"LT", "<"},   {"GT", ">"},
                                          {"QUOT", "\""}, {"APOS", "'"}, {"NBSP", " "}};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool IsAsciiAlnum(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The code point of "#NNN" or "#xHH", or nothing (0 is no character either).
char32_t NumericEntity(std::string_view entity) {
  if (entity.size() < 2 || entity[0] != '#') return 0;
  const bool hex = entity[1] == 'x' || entity[1] == 'X';
  const std::string_view digits = entity.substr(hex ? 2 : 1);
  if (digits.empty()) return 0;
  char32_t value = 0;
  for (const char c : digits) {
    int digit = -1;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (hex && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (hex && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    }
    if (digit < 0) return 0;
    value = value * (hex ? 16 : 10) + static_cast<char32_t>(digit);
    if (value > 0x10FFFF) return 0x110000;  // no character; kept from overflowing
  }
  return value;
}

}  // namespace

void THtmlToText::Reset() { *this = THtmlToText(); }

void THtmlToText::Line(std::string_view line, const TextLineSink& sink) {
  for (const char c : line) {
    switch (where_) {
      case inText:
        if (inEntity_) {
          if ((IsAsciiAlnum(c) || (c == '#' && entity_.empty())) &&
              entity_.size() < kMaxEntityBytes) {
            entity_.push_back(c);
            break;
          }
          if (c == ';') {
            EntityEnd(true);
            break;
          }
          EntityEnd(false);  // `c` is read as text after it
        }
        if (c == '<') {
          where_ = inTag;
          tag_.clear();
          quote_ = 0;
        } else if (c == '&') {
          inEntity_ = true;
          entity_.clear();
        } else {
          TextByte(c);
        }
        break;
      case inTag:
        if (quote_ != 0) {
          if (c == quote_) quote_ = 0;
        } else if ((c == '"' || c == '\'') && !tag_.empty() && tag_.back() == '=') {
          quote_ = c;
        } else if (c == '>') {
          TagEnd(sink);
        } else if (tag_.size() < kMaxTagBytes) {
          tag_.push_back(c);
          if (tag_ == "!--") {
            where_ = inComment;
            commentDashes_ = 0;
          }
        }
        break;
      case inComment:
        if (c == '>' && commentDashes_ >= 2) where_ = inText;
        commentDashes_ = c == '-' ? commentDashes_ + 1 : 0;
        break;
      case inHiddenText:
        HiddenByte(c);
        break;
    }
  }
  // A line end in the source is a blank like any other.
  if (where_ == inText) {
    if (inEntity_) EntityEnd(false);
    TextByte('\n');
  } else if (where_ == inTag && tag_.size() < kMaxTagBytes) {
    tag_.push_back(' ');
  }
}

void THtmlToText::Finish(const TextLineSink& sink) {
  if (inEntity_) EntityEnd(false);
  EndLine(false, sink);
  Reset();
}

void THtmlToText::TextByte(char c) {
  if (IsBlank(c)) {
    AppendBlank();
  } else {
    Append(std::string_view(&c, 1));
  }
}

void THtmlToText::EntityEnd(bool withSemicolon) {
  inEntity_ = false;
  for (const NamedEntity& named : kNamedEntities) {
    if (EqualIgnoringAsciiCase(entity_, named.name)) {
      Append(named.text);
      return;
    }
  }
  const char32_t codePoint = NumericEntity(entity_);
  if (codePoint == 0) {
    Append("&");
    Append(entity_);
    if (withSemicolon) Append(";");
  } else if (codePoint == '\t' || codePoint == '\n' || codePoint == '\r') {
    AppendBlank();
  } else if (codePoint < 0x20 || codePoint == 0x7F) {
    Append("\x81\xAC");  // a control character has no place in a row
  } else {
    std::string text;
    AppendCodePointAsCp932(text, codePoint);
    Append(text);
  }
}

void THtmlToText::TagEnd(const TextLineSink& sink) {
  where_ = inText;
  std::string_view tag = tag_;
  const bool isEnd = tag.starts_with('/');
  if (isEnd) tag.remove_prefix(1);
  const size_t nameEnd = std::find_if_not(tag.begin(), tag.end(), IsAsciiAlnum) - tag.begin();
  const std::string name = UpperAscii(tag.substr(0, nameEnd));
  if (name == "BR") {
    EndLine(true, sink);
  } else if (std::find(std::begin(kBlockNames), std::end(kBlockNames), name) !=
             std::end(kBlockNames)) {
    EndLine(false, sink);
  } else if (isEnd && (name == "TD" || name == "TH")) {
    AppendBlank();
  } else if (!isEnd && !tag.ends_with('/')) {
    for (const HiddenElement& hidden : kHiddenElements) {
      if (name == hidden.name) {
        where_ = inHiddenText;
        hiddenEnd_ = hidden.endTag;
        hiddenMatched_ = 0;
      }
    }
  }
}

void THtmlToText::HiddenByte(char c) {
  const char upper = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  if (upper == hiddenEnd_[hiddenMatched_]) {
    if (++hiddenMatched_ == hiddenEnd_.size()) {
      // The rest of the end tag is read as a tag, up to its ">".
      where_ = inTag;
      tag_.assign(hiddenEnd_.substr(1));
      quote_ = 0;
    }
  } else {
    hiddenMatched_ = c == '<' ? 1 : 0;
  }
}

void THtmlToText::AppendBlank() {
  if (!line_.empty() && line_.back() != ' ') Append(" ");
}

void THtmlToText::Append(std::string_view text) {
  for (const char c : text) {
    // The cap falls between characters, so the line stays valid CP932.
    if (overlong_ || (line_.size() >= kMaxDecodedLineBytes && !afterLead_)) {
      overlong_ = true;
      return;
    }
    afterLead_ = !afterLead_ && IsSjisLeadByte(static_cast<unsigned char>(c));
    line_.push_back(c);
  }
}

void THtmlToText::EndLine(bool evenBlank, const TextLineSink& sink) {
  // A blank at the end is only where a tag or a source line end stood.
  if (!line_.empty() && line_.back() == ' ') line_.pop_back();
  if (evenBlank || !TrimText(line_).empty()) sink(line_);
  line_.clear();
  overlong_ = false;
  afterLead_ = false;
}

}  // namespace vexalo
