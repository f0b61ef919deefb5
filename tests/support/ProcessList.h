#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace vexalo {

// One line of the system's process table, as /proc shows it.
struct ProcessEntry {
  pid_t pid = 0;
  pid_t parent = 0;
  pid_t group = 0;
  std::string name;  // the kernel's short command name (at most 15 bytes)
  bool zombie = false;
};

// Reads the process table now. Processes that end while it is read are
// simply missing; the list is a snapshot, not a promise.
std::vector<ProcessEntry> ListProcesses();

}  // namespace vexalo
