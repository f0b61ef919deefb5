#pragma once

#include <string>
#include <string_view>

namespace vexalo {

// `utf8` made safe to print on a terminal: every control character but the
// line feed and the tab (C0, DEL, and the C1 range U+0080-U+009F) is written
// as a visible escape, "\x1B" or "\u009B", so that text a server sent can
// never drive the terminal (clear it, retitle the window, move the cursor
// over earlier lines).
std::string EscapeControls(std::string_view utf8);

}  // namespace vexalo
