#pragma once

namespace vexalo {

// Keeps this process's memory out of core files and away from debuggers of
// the same user: it holds the settings' password in clear. Each program calls
// it first thing; failures are ignored, since the program works without it.
void DisableCoreDumps();

}  // namespace vexalo
