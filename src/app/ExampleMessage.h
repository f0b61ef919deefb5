#pragma once

#include <string>
#include <string_view>

namespace vexalo {

// The sample order mail the settings dialog shows under "例": a header with
// the default trigger line "X-VEXALO: default" (whatever line is configured),
// seven item lines joined by `separator` (possibly empty), a comment line
// that always begins with "%:", and a closing hint. Lines are joined by
// CR LF, with none after the last. `separator` and the result are CP932.
std::string ExampleMessageText(std::string_view separator);

}  // namespace vexalo
