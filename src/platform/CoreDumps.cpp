#include "platform/CoreDumps.h"

#include <sys/prctl.h>
#include <sys/resource.h>

namespace vexalo {

void DisableCoreDumps() {
  const rlimit none{0, 0};
  setrlimit(RLIMIT_CORE, &none);
  // Also stops a core pipe (systemd-coredump, apport) that ignores the limit.
  prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
}

}  // namespace vexalo
