#pragma once

#include <cstddef>
#include <functional>
#include <string_view>

namespace vexalo {

// Where the steps that read a body hand on each line they have made, without
// its line end.
using TextLineSink = std::function<void(std::string_view)>;

// Longest line a step makes from decoded text, as long as the longest line
// the POP3 client takes. What a line holds beyond it is dropped: base64 or
// HTML without line ends cannot make one item of any size.
constexpr size_t kMaxDecodedLineBytes = 1024 * 1024;

}  // namespace vexalo
