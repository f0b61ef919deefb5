#include "processing/EncodedWords.h"

#include "text/Base64Stream.h"
#include "text/QuotedPrintable.h"

namespace vexalo {

namespace {

struct EncodedWord {
  std::string_view charset;
  char encoding;  // 'B' or 'Q'
  std::string_view text;
  size_t length;  // of the whole word, "=?" to "?="
};

// The encoded word that starts `rest` (which starts with "=?"), or one of
// length 0 when it is none.
EncodedWord ParseEncodedWord(std::string_view rest) {
  const size_t charsetEnd = rest.find('?', 2);
  if (charsetEnd == std::string_view::npos || charsetEnd == 2 || rest.size() < charsetEnd + 3 ||
      rest[charsetEnd + 2] != '?') {
    return {};
  }
  const char letter = rest[charsetEnd + 1];
  const char encoding = letter == 'b' ? 'B' : letter == 'q' ? 'Q' : letter;
  if (encoding != 'B' && encoding != 'Q') return {};
  const size_t textStart = charsetEnd + 3;
  const size_t textEnd = rest.find("?=", textStart);
  if (textEnd == std::string_view::npos) return {};
  std::string_view charset = rest.substr(2, charsetEnd - 2);
  charset = charset.substr(0, charset.find('*'));  // RFC 2231 language: "utf-8*ja"
  if (charset.find_first_of(" \t") != std::string_view::npos) return {};
  return {charset, encoding, rest.substr(textStart, textEnd - textStart), textEnd + 2};
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
  for (;;) {
    const size_t start = line.find("=?", search);
    if (start == std::string_view::npos) break;
    const EncodedWord word = ParseEncodedWord(line.substr(start));
    if (word.length == 0) {
      search = start + 2;
      continue;
    }
    const std::string_view plain = line.substr(plainStart, start - plainStart);
    if (!afterWord || !IsBlanks(plain)) AppendPlainText(result, plain, decoder);
    decoder.Start(word.charset);
    result += decoder.DecodeLine(WordBytes(word));
    afterWord = true;
    plainStart = search = start + word.length;
  }
  AppendPlainText(result, line.substr(plainStart), decoder);
  return result;
}

}  // namespace vexalo
