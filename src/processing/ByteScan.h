#pragma once

#include <cstddef>
#include <string_view>

namespace vexalo {

// The offset in `text`, from `from` on, of the first byte equal to `a`, `b` or
// `c`, or text.size() when there is none. The loaders run every byte of a
// data file through this, so it looks at sixteen bytes at a time.
size_t FindAnyOf(std::string_view text, size_t from, char a, char b, char c);

inline size_t FindByte(std::string_view text, size_t from, char a) {
  return FindAnyOf(text, from, a, a, a);
}

}  // namespace vexalo
