#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/CoreDumps.h"

namespace vexalo {
namespace {

// In a child, so that this test program keeps its own settings.
TEST(CoreDumps, NeitherACoreFileNorADumpableProcess) {
  const pid_t child = fork();
  if (child == 0) {
    DisableCoreDumps();
    rlimit core{};
    getrlimit(RLIMIT_CORE, &core);
    _exit(core.rlim_cur == 0 && core.rlim_max == 0 && prctl(PR_GET_DUMPABLE) == 0 ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace vexalo
