#include "jconv/MailTextDecoder.h"

#include <stdexcept>

#include "jconv/UnicodeToCp932.h"
#include "text/CommFuncs.h"

namespace vexalo {

namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf8Geta = "\xE3\x80\x93";  // U+3013, CP932 0x81 0xAC

// iconv stops at a byte its charset does not allow; the mark takes its
// place and the next byte is read afresh.
IconvSkip SkipOneByte(std::string_view /*rest*/) { return {1, kUtf8Geta}; }

bool HasJisDesignation(std::string_view line) {
  for (size_t esc = line.find('\x1B'); esc != std::string_view::npos;
       esc = line.find('\x1B', esc + 1)) {
    const std::string_view after = line.substr(esc + 1, 2);
    if (after == "$B" || after == "$@" || after == "(I") return true;
  }
  return false;
}

bool HasNonAscii(std::string_view line) {
  for (const char c : line) {
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  }
  return false;
}

}  // namespace

void TMailTextDecoder::Start(std::string_view charsetName) {
  mode_ = CharsetModeOf(charsetName);
  atStart_ = true;
  if (mode_ != csIconv) return;
  const std::string name = UpperAscii(charsetName);
  if (iconv_ && iconvName_ == name) return;
  try {
    iconv_ = std::make_unique<IconvHandle>("UTF-8", name.c_str());
    iconvName_ = name;
  } catch (const std::runtime_error&) {
    // Out of descriptors, say: the text is still read, only guessed at.
    iconv_.reset();
    mode_ = csOther;
  }
}

std::string TMailTextDecoder::DecodeLine(std::string_view line) {
  if (atStart_) {
    atStart_ = false;
    if ((mode_ == csUtf8 || mode_ == csOther) && line.starts_with(kUtf8ByteOrderMark)) {
      line.remove_prefix(kUtf8ByteOrderMark.size());
    }
  }
  switch (mode_) {
    case csIso2022Jp:
      return jisConv_.ConvertJisToSjis(line);
    case csEucJp:
      return jisConv_.ConvertEucToSjis(line);
    case csShiftJis:
      return std::string(line);
    case csUtf8:
      return DecodeUtf8(line);
    case csIconv:
      return DecodeUtf8(IconvConvert(*iconv_, line, SkipOneByte));
    default:
      return DecodeUndeclared(line);
  }
}

std::string TMailTextDecoder::DecodeUtf8(std::string_view line) const {
  std::string text;
  AppendUtf8AsCp932(text, line);
  return text;
}

std::string TMailTextDecoder::DecodeUndeclared(std::string_view line) const {
  if (HasJisDesignation(line)) return jisConv_.ConvertJisToSjis(line);
  if (HasNonAscii(line) && IsWellFormedUtf8(line)) return DecodeUtf8(line);
  return std::string(line);
}

}  // namespace vexalo
