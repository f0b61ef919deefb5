#include "run/UnpickedIds.h"

#include "platform/SideFile.h"

namespace vexalo {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

}  // namespace

std::optional<std::unordered_set<std::string>> LoadUnpickedIds(const std::string& path,
                                                               std::string_view triggerLine) {
  const std::optional<std::string> bytes = ReadSideFile(path);
  if (!bytes) return std::nullopt;
  std::string_view rest = *bytes;
  std::unordered_set<std::string> ids;
  bool firstLine = true;
  while (!rest.empty()) {
    const size_t end = rest.find(kLineEnd);
    if (end == std::string_view::npos) return std::nullopt;
    const std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end + kLineEnd.size());
    if (firstLine) {
      if (line != triggerLine) return std::nullopt;
      firstLine = false;
      continue;
    }
    if (!IsStorableId(line)) return std::nullopt;
    ids.emplace(line);
  }
  return ids;
}

void SaveUnpickedIds(const std::string& path, std::string_view triggerLine,
                     const std::vector<std::string>& ids) {
  std::string text(triggerLine);
  text += kLineEnd;
  for (const std::string& id : ids) {
    if (!IsStorableId(id)) continue;
    text += id;
    text += kLineEnd;
  }
  ReplaceSideFile(path, text);
}

}  // namespace vexalo
