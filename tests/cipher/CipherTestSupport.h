#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vexalo::test {

// Upper-case hex digits, two per byte.
inline std::string ToHex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (const char c : bytes) {
    const auto byte = static_cast<std::uint8_t>(c);
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 0xF];
  }
  return hex;
}

inline std::string FromHex(std::string_view hex) {
  auto digit = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes += static_cast<char>(digit(hex[i]) * 16 + digit(hex[i + 1]));
  }
  return bytes;
}

inline std::span<const std::uint8_t> Bytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

inline std::span<std::uint8_t> Bytes(std::string& text) {
  return {reinterpret_cast<std::uint8_t*>(text.data()), text.size()};
}

// The message of the std::runtime_error that `call` raises.
template <class Call>
std::string RaisedMessage(Call&& call) {
  try {
    call();
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "(nothing raised)";
}

}  // namespace vexalo::test
