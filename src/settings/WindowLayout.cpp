#include "settings/WindowLayout.h"

#include <optional>
#include <stdexcept>
#include <string>

#include "settings/IniUnit.h"
#include "text/IntegerText.h"

namespace vexalo {
namespace {

std::optional<int32_t> ReadInteger(std::string_view iniFileName, std::string_view key) {
  return TextToInteger(ReadIniString(iniFileName, kWindowSection, key, ""));
}

std::vector<int32_t> ParseWidths(std::string_view text) {
  std::vector<int32_t> widths;
  while (!text.empty() && widths.size() < kMaxStoredColumns) {
    const size_t comma = text.find(',');
    const std::optional<int32_t> width = TextToInteger(text.substr(0, comma));
    if (!width || *width <= 0) break;
    widths.push_back(*width);
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return widths;
}

WindowLayout ReadWindowLayout(std::string_view iniFileName) {
  WindowLayout layout;
  const auto left = ReadInteger(iniFileName, kWindowLeftKey);
  const auto top = ReadInteger(iniFileName, kWindowTopKey);
  const auto width = ReadInteger(iniFileName, kWindowWidthKey);
  const auto height = ReadInteger(iniFileName, kWindowHeightKey);
  if (left && top && width && height) {
    layout.left = *left;
    layout.top = *top;
    layout.width = *width;
    layout.height = *height;
  }
  layout.columnWidths =
      ParseWidths(ReadIniString(iniFileName, kWindowSection, kColumnWidthsKey, ""));
  return layout;
}

}  // namespace

WindowLayout LoadWindowLayout(std::string_view iniFileName) {
  try {
    return ReadWindowLayout(iniFileName);
  } catch (const std::runtime_error&) {
    // A file that cannot be read as settings is reported by the settings'
    // load; the window just opens where the system puts it.
    return WindowLayout{};
  }
}

void SaveWindowLayout(const WindowLayout& layout, std::string_view iniFileName) {
  WriteIniString(iniFileName, kWindowSection, kWindowLeftKey, std::to_string(layout.left));
  WriteIniString(iniFileName, kWindowSection, kWindowTopKey, std::to_string(layout.top));
  WriteIniString(iniFileName, kWindowSection, kWindowWidthKey, std::to_string(layout.width));
  WriteIniString(iniFileName, kWindowSection, kWindowHeightKey, std::to_string(layout.height));
  std::string widths;
  for (size_t i = 0; i < layout.columnWidths.size() && i < kMaxStoredColumns; ++i) {
    if (i > 0) widths += ',';
    widths += std::to_string(layout.columnWidths[i]);
  }
  WriteIniString(iniFileName, kWindowSection, kColumnWidthsKey, widths);
}

}  // namespace vexalo
