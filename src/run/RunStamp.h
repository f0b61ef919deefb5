#pragma once

#include <ctime>
#include <string>

namespace vexalo {

// The date-time text a run writes into column 0 of every row it takes, and
// into AllData.csv without any escaping: "yyyy/MM/dd H:mm:ss", the hour without
// a leading zero, and the time left out at exactly 00:00:00. It is made of
// digits, "/", ":" and one blank only, so it can never hold a comma.

// Formats the broken-down local time `local` (the fields of std::tm as
// localtime_r fills them).
std::string FormatRunStamp(const std::tm& local);

// FormatRunStamp of the current local time.
std::string RunStampNow();

}  // namespace vexalo
