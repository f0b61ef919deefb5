#include "run/TakenHeaders.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/SideFile.h"
#include "run/TableFiles.h"

namespace vexalo {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

bool IsDigest(std::string_view text) {
  return text.size() == 32 && std::all_of(text.begin(), text.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

}  // namespace

std::string TakenHeadersPath(const DataFilePaths& paths) {
  return (std::filesystem::path(paths.unpicked).parent_path() / kTakenHeadersFileName).string();
}

TakenHeaders LoadTakenHeaders(const std::string& path) {
  const std::optional<std::string> bytes = ReadSideFile(path);
  if (!bytes) return {};
  TakenHeaders digests;
  std::string_view rest = *bytes;
  while (!rest.empty()) {
    const size_t end = rest.find(kLineEnd);
    if (end == std::string_view::npos) break;  // cut while appended
    const std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end + kLineEnd.size());
    const size_t blank = line.find(' ');
    if (blank == std::string_view::npos || !IsStorableId(line.substr(0, blank)) ||
        !IsDigest(line.substr(blank + 1))) {
      return {};
    }
    digests[std::string(line.substr(0, blank))] = line.substr(blank + 1);
  }
  return digests;
}

void AppendTakenHeaders(const std::string& path, const TakenHeaders& digests,
                        const std::vector<std::string>& ids) {
  std::string text;
  for (const std::string& id : ids) {
    const auto taken = digests.find(id);
    if (taken == digests.end() || !IsStorableId(id) || !IsDigest(taken->second)) continue;
    text.append(id).append(" ").append(taken->second).append(kLineEnd);
  }
  if (!text.empty()) AppendSideFile(path, text);
}

// In id order, so that equal contents give equal files. Each page of fresh
// memory costs a fault on its first touch, which for ten thousand proofs
// cost more than sorting them: the entries are sorted as pointers, and the
// text goes out a piece at a time through one buffer.
void SaveTakenHeaders(const std::string& path, const TakenHeaders& digests) {
  std::vector<const TakenHeaders::value_type*> entries;
  entries.reserve(digests.size());
  for (const auto& entry : digests) {
    if (IsStorableId(entry.first) && IsDigest(entry.second)) entries.push_back(&entry);
  }
  std::sort(entries.begin(), entries.end(),
            [](const auto* left, const auto* right) { return left->first < right->first; });
  SideFileWriter file(path);
  for (const auto* entry : entries) file.AppendLine({entry->first, " ", entry->second});
  file.Commit();
}

}  // namespace vexalo
