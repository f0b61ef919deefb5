#include "ProcessList.h"

#include <cctype>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

namespace vexalo {
namespace {

// /proc/<pid>/stat is "pid (name) state parent group ...". The name may hold
// blanks and parentheses itself, so the fields after it are found from the
// last ')'.
std::optional<ProcessEntry> ReadStat(const std::filesystem::path& statFile) {
  std::ifstream in(statFile);
  std::string line;
  if (!std::getline(in, line)) return std::nullopt;
  const auto open = line.find('(');
  const auto close = line.rfind(')');
  if (open == std::string::npos || close == std::string::npos || close < open) return std::nullopt;

  ProcessEntry entry;
  entry.name = line.substr(open + 1, close - open - 1);
  std::istringstream head(line.substr(0, open));
  std::istringstream rest(line.substr(close + 1));
  char state = 0;
  if (!(head >> entry.pid) || !(rest >> state >> entry.parent >> entry.group)) return std::nullopt;
  entry.zombie = state == 'Z' || state == 'X';
  return entry;
}

bool IsPidName(const std::string& name) {
  if (name.empty()) return false;
  for (const char c : name) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

}  // namespace

std::vector<ProcessEntry> ListProcesses() {
  std::vector<ProcessEntry> processes;
  std::error_code error;
  for (const auto& dir : std::filesystem::directory_iterator("/proc", error)) {
    if (!IsPidName(dir.path().filename().string())) continue;
    if (auto entry = ReadStat(dir.path() / "stat")) processes.push_back(std::move(*entry));
  }
  return processes;
}

}  // namespace vexalo
