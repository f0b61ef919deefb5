#pragma once

#include <gtest/gtest.h>
#include <stdio.h>

#include <map>
#include <sstream>
#include <string>

namespace vexalo::testing {

// What openpyxl, a reader that is not the writer, finds in the first sheet
// of the workbook at `path` (xlsx_cells.py): "A1" -> "s \"text\"" (type and
// JSON value) for each cell that holds something, "freeze" -> the frozen
// pane, "width B" -> a column's width, "sheets" -> their number.
inline std::map<std::string, std::string> ReadBack(const std::string& path) {
  const std::string command =
      "/usr/bin/python3 " VEXALO_TEST_SUPPORT_DIR "/xlsx_cells.py '" + path + "' 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  EXPECT_NE(pipe, nullptr) << command;
  std::string output;
  char buffer[4096];
  for (size_t got; pipe && (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
    output.append(buffer, got);
  }
  EXPECT_EQ(pipe ? ::pclose(pipe) : -1, 0) << output;
  std::map<std::string, std::string> found;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    const size_t cut = line.find(' ', line.rfind("width ", 0) == 0 ? 6 : 0);
    found[line.substr(0, cut)] = cut == std::string::npos ? "" : line.substr(cut + 1);
  }
  return found;
}

}  // namespace vexalo::testing
