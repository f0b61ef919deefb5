#include "jconv/MailTextDecoder.h"

#include <algorithm>
#include <stdexcept>

#include "jconv/Cp932Repair.h"
#include "jconv/UnicodeToCp932.h"
#include "text/ByteScan.h"
#include "text/CommFuncs.h"

namespace vexalo {

namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf8Geta = "\xE3\x80\x93";  // U+3013, CP932 0x81 0xAC

// iconv stops at a byte its charset does not allow; the mark takes its
// place and the next byte is read afresh.
IconvSkip SkipOneByte(std::string_view /*rest*/) { return {1, kUtf8Geta}; }

// Whether an escape sequence in `line` has two bytes after its ESC that
// `pick` takes.
template <typename Pick>
bool HasDesignation(std::string_view line, Pick pick) {
  for (size_t esc = line.find('\x1B'); esc != std::string_view::npos;
       esc = line.find('\x1B', esc + 1)) {
    if (pick(line.substr(esc + 1, 2))) return true;
  }
  return false;
}

bool HasJisDesignation(std::string_view line) {
  return HasDesignation(
      line, [](std::string_view set) { return set == "$B" || set == "$@" || set == "(I"; });
}

// Designations beyond those TJisConv reads: JIS X 0212 (ESC $ ( D), the
// JIS X 0213 planes (ESC $ ( O, P, Q), the sets of ISO-2022-JP-2, …
bool HasOtherDesignation(std::string_view line) {
  return HasDesignation(line, [](std::string_view set) {
    return set != "$B" && set != "$@" && set != "(B" && set != "(J" && set != "(I";
  });
}

bool HasNonAscii(std::string_view line) { return AsciiRunEnd(line, 0) != line.size(); }

}  // namespace

void TMailTextDecoder::Start(std::string_view charsetName) {
  mode_ = CharsetModeOf(charsetName);
  atStart_ = true;
  iconvCharset_.clear();
  const std::string name = UpperAscii(charsetName);
  if (mode_ == csIconv) {
    iconvCharset_ = name;
  } else if (mode_ == csIso2022Jp && name != "ISO-2022-JP") {
    // glibc knows no -1 or -2004; -2 covers -1's JIS X 0212, -3 the JIS X
    // 0213 sets of -2004.
    iconvCharset_ =
        name.ends_with("-3") || name.ends_with("-2004") ? "ISO-2022-JP-3" : "ISO-2022-JP-2";
  }
}

void TMailTextDecoder::DecodeLine(std::string_view line, std::string& text) {
  if (atStart_) {
    atStart_ = false;
    if ((mode_ == csUtf8 || mode_ == csOther) && line.starts_with(kUtf8ByteOrderMark)) {
      line.remove_prefix(kUtf8ByteOrderMark.size());
    }
  }
  switch (mode_) {
    case csUtf8:
      text.clear();
      AppendUtf8AsCp932(text, line);
      break;
    case csIconv:
      text = DecodeThroughIconv(iconvCharset_, line);
      break;
    case csIso2022Jp:
      DecodeIso2022Jp(line, text);
      break;
    case csEucJp:
      jisConv_.ConvertEucToCp932(line, text);
      break;
    case csShiftJis:
      text.assign(line);
      RepairCp932(text);
      break;
    default:
      text = DecodeUndeclared(line);
      break;
  }
}

std::string TMailTextDecoder::DecodeLine(std::string_view line) {
  std::string text;
  DecodeLine(line, text);
  return text;
}

std::string TMailTextDecoder::DecodeUtf8(std::string_view line) const {
  std::string text;
  AppendUtf8AsCp932(text, line);
  return text;
}

// A line with an extended designation is cut before each escape sequence:
// the pieces in the sets TJisConv knows go through it, so NEC row 13 (①)
// keeps its code, and only the pieces in other sets through iconv.
void TMailTextDecoder::DecodeIso2022Jp(std::string_view line, std::string& text) {
  // ISO-2022-JP is 7-bit; raw UTF-8 under its label is what some carriers
  // send. The plain label's lines are converted first, since the conversion
  // tells whether there was an 8-bit byte at all.
  const auto isRawUtf8 = [&line] { return !HasJisDesignation(line) && IsWellFormedUtf8(line); };
  if (iconvCharset_.empty()) {
    if (jisConv_.ConvertJisToCp932(line, text) && isRawUtf8()) text = DecodeUtf8(line);
    return;
  }
  const bool eightBit = HasNonAscii(line);
  if (eightBit && isRawUtf8()) {
    text = DecodeUtf8(line);
    return;
  }
  if (!HasOtherDesignation(line)) {
    jisConv_.ConvertJisToCp932(line, text);
    return;
  }
  text.clear();
  size_t start = 0;
  while (start < line.size()) {
    const size_t next = std::min(line.find('\x1B', start + 1), line.size());
    const std::string_view piece = line.substr(start, next - start);
    text += HasOtherDesignation(piece.substr(0, 3)) ? DecodeThroughIconv(iconvCharset_, piece)
                                                    : jisConv_.ConvertJisToSjis(piece);
    start = next;
  }
  // From 7-bit text only whole characters come.
  if (eightBit) RepairCp932(text);
}

std::string TMailTextDecoder::DecodeThroughIconv(const std::string& charset,
                                                 std::string_view line) {
  if (!iconv_ || openCharset_ != charset) {
    try {
      iconv_ = std::make_unique<IconvHandle>("UTF-8", charset.c_str());
      openCharset_ = charset;
    } catch (const std::runtime_error&) {
      // Out of descriptors, say: the line is still read, only guessed at.
      iconv_.reset();
      return DecodeUndeclared(line);
    }
  }
  return DecodeUtf8(IconvConvert(*iconv_, line, SkipOneByte));
}

std::string TMailTextDecoder::DecodeUndeclared(std::string_view line) const {
  if (HasJisDesignation(line)) return jisConv_.ConvertJisToCp932(line);
  if (HasNonAscii(line) && IsWellFormedUtf8(line)) return DecodeUtf8(line);
  std::string text(line);
  RepairCp932(text);
  return text;
}

}  // namespace vexalo
