#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "settings/SettingsKeys.h"

namespace vexalo {

// The most column widths that are kept.
inline constexpr std::size_t kMaxStoredColumns = 256;

// Where the main window stood and how wide the grid's columns were, as the
// section kWindowSection of the settings file keeps them.
struct WindowLayout {
  int32_t left = 0;
  int32_t top = 0;
  int32_t width = 0;  // 0 or less: no place stored
  int32_t height = 0;
  std::vector<int32_t> columnWidths;  // from column 0; may be empty

  bool HasPlace() const { return width > 0 && height > 0; }
};

// Reads the stored layout. An absent file, section or key, or a value that is
// no integer, leaves that part out (no place, or fewer column widths); a
// width list is read up to its first entry that is no positive integer, and
// at most kMaxStoredColumns entries. A file too large to be read as settings
// gives no layout at all: the settings' load is the one that reports it.
WindowLayout LoadWindowLayout(std::string_view iniFileName);

// Writes the whole layout, raising as WriteIniString does.
void SaveWindowLayout(const WindowLayout& layout, std::string_view iniFileName);

}  // namespace vexalo
