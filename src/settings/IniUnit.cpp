#include "settings/IniUnit.h"

#include <cstdint>
#include <optional>
#include <stdexcept>

#include "platform/ProgramDir.h"
#include "platform/SmallFile.h"
#include "platform/UserTexts.h"
#include "settings/IniDocument.h"
#include "text/IntegerText.h"

namespace vexalo {
namespace {

// A settings file is a few hundred bytes; anything this large is not one,
// and is neither parsed nor rewritten.
constexpr std::size_t kIniFileLimit = 1 << 20;

constexpr mode_t kNewFileMode = 0600;
constexpr mode_t kGroupAndOthers = 0077;

[[noreturn]] void ThrowTooLarge(const std::string& path) {
  throw std::runtime_error(Cp932Text(UserText::kSettingsFileTooLarge, {path}));
}

std::optional<std::string> ReadValue(std::string_view fileName, std::string_view section,
                                     std::string_view key) {
  const std::string path = ResolveIniFileName(fileName);
  const SmallFileContent file = ReadSmallFile(path, kIniFileLimit);
  // Read as empty, it would run with settings the user never made.
  if (file.state == SmallFileContent::State::kTooLarge) ThrowTooLarge(path);
  if (file.state != SmallFileContent::State::kRead) return std::nullopt;
  auto value = IniDocument(file.text).Find(section, key);
  if (value && value->size() > kIniValueLimit) value->resize(kIniValueLimit);
  return value;
}

[[noreturn]] void ThrowCannotWrite(const std::string& path) {
  throw std::runtime_error(Cp932Text(UserText::kCannotWrite, {path}));
}

}  // namespace

std::string ResolveIniFileName(std::string_view fileName) {
  if (fileName.find('/') != std::string_view::npos) return std::string(fileName);
  return DataDir() + std::string(fileName);
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
  // A value of more than two characters starting "0x" is hexadecimal, which
  // the platform conversion already reads the same way.
  const std::optional<int32_t> number = TextToInteger(*value);
  return number ? *number != 0 : defaultValue;
}

namespace {

// Whether a write leaves the file's permissions as they are or takes the
// group's and others' away (a file that holds the password).
enum class Exposure { kAsItIs, kOwnerOnly };

void WriteValue(std::string_view fileName, std::string_view section, std::string_view key,
                std::string_view value, Exposure exposure) {
  const std::string path = ResolveIniFileName(fileName);
  SmallFileContent file = ReadSmallFile(path, kIniFileLimit);
  // Rewriting a file that could not be read whole would lose what it holds.
  if (file.state == SmallFileContent::State::kUnusable ||
      file.state == SmallFileContent::State::kTooLarge) {
    ThrowCannotWrite(path);
  }
  mode_t mode = file.state == SmallFileContent::State::kRead ? file.mode : kNewFileMode;
  if (exposure == Exposure::kOwnerOnly && (mode & kGroupAndOthers) != 0) mode = kNewFileMode;
  IniDocument document(std::move(file.text));
  document.Set(section, key, value);
  if (!ReplaceSmallFile(path, document.Text(), mode)) ThrowCannotWrite(path);
}

}  // namespace

void WriteIniString(std::string_view fileName, std::string_view section, std::string_view key,
                    std::string_view value) {
  WriteValue(fileName, section, key, value, Exposure::kAsItIs);
}

void WriteIniSecret(std::string_view fileName, std::string_view section, std::string_view key,
                    std::string_view value) {
  WriteValue(fileName, section, key, value, Exposure::kOwnerOnly);
}

void WriteIniBool(std::string_view fileName, std::string_view section, std::string_view key,
                  bool value) {
  WriteIniString(fileName, section, key, value ? "1" : "0");
}

}  // namespace vexalo
