#include "settings/IniUnit.h"

#include <cstdint>
#include <optional>
#include <stdexcept>

#include "settings/IniDocument.h"
#include "settings/ProgramDir.h"
#include "settings/SmallFile.h"

namespace vexalo {
namespace {

// A settings file is a few hundred bytes; anything this large is not one,
// and is neither parsed nor rewritten.
constexpr std::size_t kIniFileLimit = 1 << 20;

constexpr mode_t kNewFileMode = 0600;

std::optional<std::string> ReadValue(std::string_view fileName, std::string_view section,
                                     std::string_view key) {
  const SmallFileContent file = ReadSmallFile(ResolveIniFileName(fileName), kIniFileLimit);
  if (file.state != SmallFileContent::State::kRead) return std::nullopt;
  auto value = IniDocument(file.text).Find(section, key);
  if (value && value->size() > kIniValueLimit) value->resize(kIniValueLimit);
  return value;
}

int DigitValue(char c, int base) {
  int value = 99;
  if (c >= '0' && c <= '9') value = c - '0';
  if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
  if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
  return value < base ? value : -1;
}

// Digits only, at least one, the magnitude within `limit`.
std::optional<std::uint64_t> ParseDigits(std::string_view digits, int base, std::uint64_t limit) {
  if (digits.empty()) return std::nullopt;
  std::uint64_t magnitude = 0;
  for (const char c : digits) {
    const int digit = DigitValue(c, base);
    if (digit < 0) return std::nullopt;
    magnitude = magnitude * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
    if (magnitude > limit) return std::nullopt;
  }
  return magnitude;
}

bool StartsWithHexMark(std::string_view text) {
  return text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

// The integer reading of a boolean value; only zero or not matters, so the
// sign is checked for form but not applied.
std::optional<std::uint64_t> ParseIniInteger(std::string_view text) {
  if (text.size() > 2 && StartsWithHexMark(text))
    return ParseDigits(text.substr(2), 16, 0xFFFFFFFF);
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (!text.empty() && (text.front() == '$' || text.front() == 'x' || text.front() == 'X')) {
    return ParseDigits(text.substr(1), 16, 0xFFFFFFFF);
  }
  if (StartsWithHexMark(text)) return ParseDigits(text.substr(2), 16, 0xFFFFFFFF);
  return ParseDigits(text, 10, negative ? 0x80000000u : 0x7FFFFFFFu);
}

[[noreturn]] void ThrowCannotWrite(const std::string& path) {
  // "%s に書き込めません": "cannot write to %s"
  throw std::runtime_error(path +
                           " \x82\xc9\x8f\x91\x82\xab\x8d\x9e\x82\xdf\x82\xdc\x82\xb9\x82\xf1");
}

}  // namespace

std::string ResolveIniFileName(std::string_view fileName) {
  if (fileName.find('/') != std::string_view::npos) return std::string(fileName);
  return ExecutableDir() + std::string(fileName);
}

std::string ReadIniString(std::string_view fileName, std::string_view section, std::string_view key,
                          std::string_view defaultText) {
  auto value = ReadValue(fileName, section, key);
  if (!value) return std::string(defaultText.substr(0, kIniValueLimit));
  return std::move(*value);
}

bool ReadIniBool(std::string_view fileName, std::string_view section, std::string_view key,
                 bool defaultValue) {
  const auto value = ReadValue(fileName, section, key);
  if (!value) return defaultValue;
  const auto number = ParseIniInteger(*value);
  return number ? *number != 0 : defaultValue;
}

void WriteIniString(std::string_view fileName, std::string_view section, std::string_view key,
                    std::string_view value) {
  const std::string path = ResolveIniFileName(fileName);
  SmallFileContent file = ReadSmallFile(path, kIniFileLimit);
  // Rewriting a file that could not be read whole would lose what it holds.
  if (file.state == SmallFileContent::State::kUnusable) ThrowCannotWrite(path);
  const mode_t mode = file.state == SmallFileContent::State::kRead ? file.mode : kNewFileMode;
  IniDocument document(std::move(file.text));
  document.Set(section, key, value);
  if (!ReplaceSmallFile(path, document.Text(), mode)) ThrowCannotWrite(path);
}

void WriteIniBool(std::string_view fileName, std::string_view section, std::string_view key,
                  bool value) {
  WriteIniString(fileName, section, key, value ? "1" : "0");
}

}  // namespace vexalo
