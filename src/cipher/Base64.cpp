#include "cipher/Base64.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>

namespace vexalo {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::uint32_t SextetOf(char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<std::uint32_t>(c - 'A');
  if (c >= 'a' && c <= 'z') return static_cast<std::uint32_t>(c - 'a' + 26);
  if (c >= '0' && c <= '9') return static_cast<std::uint32_t>(c - '0' + 52);
  if (c == '+') return 62;
  return 63;
}

}  // namespace

std::string Base64Encode(std::string_view bytes) {
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t at = 0; at < bytes.size(); at += 3) {
    const std::size_t count = std::min<std::size_t>(3, bytes.size() - at);
    std::uint32_t group = 0;
    for (std::size_t i = 0; i < 3; ++i) {
      const std::uint32_t byte = i < count ? static_cast<std::uint8_t>(bytes[at + i]) : 0;
      group = (group << 8) | byte;
    }
    for (std::size_t i = 0; i < 4; ++i) {
      text += i <= count ? kAlphabet[(group >> (18 - 6 * i)) & 0x3F] : '=';
    }
  }
  return text;
}

std::string Base64Decode(std::string_view text) {
  if (text.size() % 4 != 0) throw std::runtime_error("Base64: Incorrect string format");
  std::string bytes;
  bytes.reserve(text.size() / 4 * 3);
  for (std::size_t at = 0; at < text.size(); at += 4) {
    std::size_t count = 3;
    if (at + 4 == text.size()) {
      if (text[at + 2] == '=') {
        count = 1;
      } else if (text[at + 3] == '=') {
        count = 2;
      }
    }
    std::uint32_t group = 0;
    for (std::size_t i = 0; i < 4; ++i) group = (group << 6) | SextetOf(text[at + i]);
    for (std::size_t i = 0; i < count; ++i) {
      bytes += static_cast<char>((group >> (16 - 8 * i)) & 0xFF);
    }
  }
  return bytes;
}

}  // namespace vexalo
