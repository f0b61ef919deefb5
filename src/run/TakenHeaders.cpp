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

// In id order, so that equal contents give equal files. The entries are
// sorted as views side by side rather than through the map's scattered nodes,
// and the text has its whole room at once.
void SaveTakenHeaders(const std::string& path, const TakenHeaders& digests) {
  std::vector<std::pair<std::string_view, std::string_view>> entries;
  entries.reserve(digests.size());
  size_t bytes = 0;
  for (const auto& [id, digest] : digests) {
    if (!IsStorableId(id) || !IsDigest(digest)) continue;
    entries.emplace_back(id, digest);
    bytes += id.size() + 1 + digest.size() + kLineEnd.size();
  }
  std::sort(entries.begin(), entries.end());
  std::string text;
  text.reserve(bytes);
  for (const auto& [id, digest] : entries)
    text.append(id).append(" ").append(digest).append(kLineEnd);
  ReplaceSideFile(path, text);
}

}  // namespace vexalo
