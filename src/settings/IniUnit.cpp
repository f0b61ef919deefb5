#include "settings/IniUnit.h"

#include <cstdint>
#include <optional>
#include <stdexcept>

#include "settings/IniDocument.h"
#include "settings/IntegerText.h"
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

[[noreturn]] void ThrowCannotWrite(const std::string& path) {
  // "%s に書き込めません": "cannot write to %s"
  throw std::runtime_error(path +
                           " \x82\xc9\x8f\x91\x82\xab\x8d\x9e\x82\xdf\x82\xdc\x82\xb9\x82\xf1");
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
