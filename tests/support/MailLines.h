#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace vexalo::testing {

// A whole mail from tests/fixtures/mail (`name` relative to it), cut into
// the lines the POP3 client hands over: no line ends.
inline std::vector<std::string> ReadMailLines(const std::string& name) {
  std::ifstream file(std::string(VEXALO_FIXTURE_DIR) + "/mail/" + name, std::ios::binary);
  EXPECT_TRUE(file) << name;
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

}  // namespace vexalo::testing
