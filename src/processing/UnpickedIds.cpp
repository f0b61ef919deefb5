#include "processing/UnpickedIds.h"

#include <algorithm>
#include <optional>

#include "processing/InOutError.h"
#include "processing/PosixFile.h"
#include "processing/ReplacementFile.h"

namespace vexalo {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
// Far beyond the ids of any mailbox (a few hundred thousand messages); a
// larger file is not one this program wrote.
constexpr long long kMostFileBytes = 64LL << 20;
// Server ids are at most 70 bytes; anything much longer is damage.
constexpr size_t kLongestId = 1024;

// The client reads an id as printable ASCII only, so any other byte in the
// file is damage.
bool IsStorableId(std::string_view id) {
  return !id.empty() && id.size() <= kLongestId &&
         std::all_of(id.begin(), id.end(), [](char c) { return c >= 0x21 && c <= 0x7E; });
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::optional<PosixFile> file = PosixFile::OpenIfPresent(path);
  if (!file || file->Size() > kMostFileBytes) return std::nullopt;
  std::string bytes;
  char buffer[1 << 16];
  while (const size_t count = file->Read(buffer, sizeof buffer)) {
    bytes.append(buffer, count);
    if (static_cast<long long>(bytes.size()) > kMostFileBytes) return std::nullopt;
  }
  return bytes;
}

}  // namespace

std::optional<std::unordered_set<std::string>> LoadUnpickedIds(const std::string& path,
                                                               std::string_view triggerLine) {
  std::optional<std::string> bytes;
  try {
    bytes = ReadWholeFile(path);
  } catch (const EInOutError&) {
    return std::nullopt;
  }
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
  ReplacementFile replacement(path);
  replacement.File().Write(text);
  replacement.Commit();
}

}  // namespace vexalo
