#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace vexalo {

inline constexpr auto kTimeout = std::chrono::seconds(60);
inline constexpr size_t kOutputCap = 1 << 20;

struct ProgramResult {
  int exitStatus = -1;  // -1: killed or did not end in time
  std::string out;
  std::string err;
};

// vexalo-fetch followed by `args`.
std::vector<std::string> FetchCommand(const std::vector<std::string>& args);

// The null-ended argument vector execv wants; `text` must outlive it.
std::vector<char*> ArgvPointers(std::vector<std::string>& text);

// Runs vexalo-fetch with `args`, feeding `input` to its standard input, and
// collects its output; a program still running after kTimeout is killed.
ProgramResult RunFetch(const std::vector<std::string>& args, const std::string& input);

}  // namespace vexalo
