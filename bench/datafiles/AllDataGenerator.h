#pragma once

#include <cstdint>
#include <string>

namespace vexalo::bench {

// The unique id the generator gives line `index`.
std::string GeneratedId(int64_t index);

// Writes an AllData.csv of `lines` lines as runs leave it: run stamp, unique
// id and ten CP932 item values (kanji words and numbers), about 120 bytes a
// line, CR LF after each. The same arguments always give the same bytes.
// Returns the file's size in bytes.
int64_t WriteAllDataFile(const std::string& path, int64_t lines);

}  // namespace vexalo::bench
