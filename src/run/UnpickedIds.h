#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace vexalo {

// The memory of mail found not to be picked, so that a poll does not read
// its header again. The file (Unpicked.txt) is CP932 with CR LF after every
// line: the trigger line the ids were judged with, then one server id per
// line. It is only a shortcut: losing it costs one header read per message,
// trusting a wrong one could skip an order, so any doubt empties it.

// The ids remembered in the file at `path` for `triggerLine`. Nothing when
// the file is missing or unreadable, was written for another trigger line,
// or is damaged (a line without its CR LF, a line that is no server id, a
// file of an implausible size).
std::optional<std::unordered_set<std::string>> LoadUnpickedIds(const std::string& path,
                                                               std::string_view triggerLine);

// Replaces the file at `path` with `triggerLine` and `ids` (ids that could
// not be read back as one line are left out) without a moment in which a
// crash leaves it half written (a ReplacementFile). Raises EInOutError.
void SaveUnpickedIds(const std::string& path, std::string_view triggerLine,
                     const std::vector<std::string>& ids);

}  // namespace vexalo
