#include "jconv/Cp932Codec.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

#include "text/CommFuncs.h"

namespace vexalo {

namespace {

constexpr std::string_view kReplacementChar = "\xEF\xBF\xBD";  // U+FFFD
constexpr std::string_view kGetaMark = "\x81\xAC";

// One iconv descriptor per direction and thread: the grid converts every cell
// it paints, and opening a descriptor each time would cost more than the work.
class IconvHandle {
 public:
  IconvHandle(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
      throw std::runtime_error(std::string("iconv cannot convert from ") + from + " to " + to);
    }
  }
  ~IconvHandle() { iconv_close(cd_); }
  IconvHandle(const IconvHandle&) = delete;
  IconvHandle& operator=(const IconvHandle&) = delete;

  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

// What to do at a place iconv refuses: how many input bytes to step over and
// what to write for them. Always at least one byte, so the walk ends.
struct Skip {
  size_t bytes;
  std::string_view standIn;
};

// A well-formed pair that has no character (0x81 0xAD, say) is one unknown
// character; a lead byte whose partner cannot be a trail byte is a stray byte
// and the byte after it is read again (it may well be ASCII).
Skip SkipCp932(std::string_view rest) {
  const auto lead = static_cast<unsigned char>(rest[0]);
  if (rest.size() >= 2 && IsSjisLeadByte(lead) &&
      IsSjisTrailByte(static_cast<unsigned char>(rest[1]))) {
    return {2, kReplacementChar};
  }
  return {1, kReplacementChar};
}

// The length of the UTF-8 sequence that starts `rest` when its lead and
// continuation bytes are in place, or of what the end of the text left of it;
// 1 for a byte that starts none.
size_t Utf8SequenceLength(std::string_view rest) {
  const auto lead = static_cast<unsigned char>(rest[0]);
  size_t length = 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
  }
  length = std::min(length, rest.size());
  for (size_t i = 1; i < length; ++i) {
    if ((static_cast<unsigned char>(rest[i]) & 0xC0) != 0x80) return 1;
  }
  return length;
}

Skip SkipUtf8(std::string_view rest) { return {Utf8SequenceLength(rest), kGetaMark}; }

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

template <typename SkipFn>
std::string Convert(const IconvHandle& handle, std::string_view input, SkipFn skip) {
  iconv(handle.get(), nullptr, nullptr, nullptr, nullptr);  // back to the initial state
  std::string result(input.size() * 2 + 16, '\0');
  char* in = const_cast<char*>(input.data());  // iconv's signature; it only reads
  size_t inLeft = input.size();
  size_t written = 0;
  while (inLeft > 0) {
    char* out = result.data() + written;
    size_t outLeft = result.size() - written;
    const size_t rc = iconv(handle.get(), &in, &inLeft, &out, &outLeft);
    written = result.size() - outLeft;
    if (rc != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) {
      result.resize(result.size() * 2);
      continue;
    }
    // EILSEQ or EINVAL (a sequence cut off by the end of the input).
    const Skip step = skip(std::string_view(in, inLeft));
    result.replace(written, step.standIn.size(), step.standIn);  // grows the buffer if need be
    written += step.standIn.size();
    in += step.bytes;
    inLeft -= step.bytes;
  }
  result.resize(written);
  return result;
}

}  // namespace

std::string Cp932ToUtf8(std::string_view cp932) {
  // Every ASCII byte is the same character in both, and most cells are ASCII.
  if (IsAscii(cp932)) return std::string(cp932);
  thread_local const IconvHandle handle("UTF-8", "CP932");
  return Convert(handle, cp932, SkipCp932);
}

std::string Utf8ToCp932(std::string_view utf8) {
  if (IsAscii(utf8)) return std::string(utf8);
  thread_local const IconvHandle handle("CP932", "UTF-8");
  return Convert(handle, utf8, SkipUtf8);
}

}  // namespace vexalo
