#pragma once

#include <string>

namespace vexalo {

// The folder of the running executable, with a trailing "/", from
// /proc/self/exe. Every file the program names by itself lives there, never
// in the current directory. Raises std::runtime_error when the link cannot be
// read (no /proc).
std::string ExecutableDir();

}  // namespace vexalo
