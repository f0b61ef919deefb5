#include "mail/EncodedWords.h"

#include "mail/Base64Stream.h"
#include "mail/QuotedPrintable.h"

namespace vexalo {

namespace {

struct EncodedWord {
  std::string_view charset;
  char encoding;  // 'B' or 'Q'
  std::string_view text;
  size_t end;  // just after its "?="; 0 when there is no word
};

// The first place of `needle` in `text` at or after a position, for
// positions that only grow: a result still ahead is given again without a
// search, so a line with many a "=?" that starts no word is searched once
// over, not once for each of them.
class ForwardFinder {
 public:
  ForwardFinder(std::string_view text, std::string_view needle) : text_(text), needle_(needle) {}

  size_t From(size_t from) {
    if (!searched_ || (found_ != std::string_view::npos && found_ < from)) {
      found_ = text_.find(needle_, from);
      searched_ = true;
    }
    return found_;
  }

 private:
  std::string_view text_;
  std::string_view needle_;
  size_t found_ = std::string_view::npos;
  bool searched_ = false;
};

// The encoded word that starts at line[start] (a "=?"), or one whose end is
// 0 when there is none.
EncodedWord ParseEncodedWord(std::string_view line, size_t start, ForwardFinder& questionMarks,
                             ForwardFinder& wordEnds) {
  const size_t charsetEnd = questionMarks.From(start + 2);
  if (charsetEnd == std::string_view::npos || charsetEnd == start + 2 ||
      line.size() < charsetEnd + 3 || line[charsetEnd + 2] != '?') {
    return {};
  }
  const char letter = line[charsetEnd + 1];
  const char encoding = letter == 'b' ? 'B' : letter == 'q' ? 'Q' : letter;
  if (encoding != 'B' && encoding != 'Q') return {};
  const size_t textStart = charsetEnd + 3;
  const size_t textEnd = wordEnds.From(textStart);
  if (textEnd == std::string_view::npos) return {};
  std::string_view charset = line.substr(start + 2, charsetEnd - start - 2);
  charset = charset.substr(0, charset.find('*'));  // RFC 2231 language: "utf-8*ja"
  if (charset.find_first_of(" \t") != std::string_view::npos) return {};
  return {charset, encoding, line.substr(textStart, textEnd - textStart), textEnd + 2};
}

std::string WordBytes(const EncodedWord& word) {
  std::string bytes;
  if (word.encoding == 'B') {
    Base64Stream base64;
    base64.Decode(word.text, bytes);
  } else {
    DecodeQuotedPrintableLine(word.text, bytes, true);
  }
  return bytes;
}

bool IsBlanks(std::string_view text) {
  return text.find_first_not_of(" \t") == std::string_view::npos;
}

void AppendPlainText(std::string& result, std::string_view plain, TMailTextDecoder& decoder) {
  if (plain.empty()) return;
  decoder.Start("");
  result += decoder.DecodeLine(plain);
}

}  // namespace

std::string DecodeEncodedWords(std::string_view line, TMailTextDecoder& decoder) {
  std::string result;
  size_t plainStart = 0;  // where the text after the last encoded word starts
  bool afterWord = false;
  size_t search = 0;
  ForwardFinder questionMarks(line, "?");
  ForwardFinder wordEnds(line, "?=");
  for (;;) {
    const size_t start = line.find("=?", search);
    if (start == std::string_view::npos) break;
    const EncodedWord word = ParseEncodedWord(line, start, questionMarks, wordEnds);
    if (word.end == 0) {
      search = start + 2;
      continue;
    }
    const std::string_view plain = line.substr(plainStart, start - plainStart);
    if (!afterWord || !IsBlanks(plain)) AppendPlainText(result, plain, decoder);
    decoder.Start(word.charset);
    result += decoder.DecodeLine(WordBytes(word));
    afterWord = true;
    plainStart = search = word.end;
  }
  AppendPlainText(result, line.substr(plainStart), decoder);
  return result;
}

}  // namespace vexalo
