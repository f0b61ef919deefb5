#include "mail/Base64Stream.h"

#include <array>

namespace vexalo {

namespace {

constexpr uint8_t kSkip = 0xFF;
constexpr uint8_t kPad = 0xFE;

constexpr std::array<uint8_t, 256> MakeValues() {
  std::array<uint8_t, 256> values{};
  values.fill(kSkip);
  constexpr std::string_view alphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (size_t i = 0; i < alphabet.size(); ++i) {
    values[static_cast<unsigned char>(alphabet[i])] = static_cast<uint8_t>(i);
  }
  values['='] = kPad;
  return values;
}

constexpr std::array<uint8_t, 256> kValues = MakeValues();

}  // namespace

void Base64Stream::Decode(std::string_view text, std::string& out) {
  out.reserve(out.size() + text.size() / 4 * 3 + 2);
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  size_t pos = 0;
  const size_t size = text.size();
  while (pos < size) {
    // Groups of four clean characters on a group boundary, the body of every
    // line a mailer writes, go three bytes at a time.
    if (bitCount_ == 0) {
      while (pos + 4 <= size) {
        const uint32_t a = kValues[bytes[pos]];
        const uint32_t b = kValues[bytes[pos + 1]];
        const uint32_t c = kValues[bytes[pos + 2]];
        const uint32_t d = kValues[bytes[pos + 3]];
        if ((a | b | c | d) >= 64) break;
        const uint32_t group = a << 18 | b << 12 | c << 6 | d;
        const char three[3] = {static_cast<char>(group >> 16), static_cast<char>(group >> 8),
                               static_cast<char>(group)};
        out.append(three, 3);
        pos += 4;
      }
      if (pos == size) break;
    }
    const uint8_t value = kValues[bytes[pos++]];
    if (value == kSkip) continue;
    if (value == kPad) {
      Reset();
      continue;
    }
    bits_ = (bits_ << 6) | value;
    bitCount_ += 6;
    if (bitCount_ >= 8) {
      bitCount_ -= 8;
      out.push_back(static_cast<char>(bits_ >> bitCount_));
      bits_ &= (1U << bitCount_) - 1;
    }
  }
}

}  // namespace vexalo
