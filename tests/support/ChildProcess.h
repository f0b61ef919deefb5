#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace vexalo {

// A server program started for a test. It runs in a process group of its own
// (so whatever it forks can be stopped with it) and is sent SIGTERM by the
// kernel when the thread that started it ends, so a crashed or killed test
// leaves nothing running. Start and stop it on a thread that outlives it.
class ChildProcess {
 public:
  // Starts argv[0] (an absolute path) with the given arguments and the
  // caller's environment; standard input reads /dev/null, standard output and
  // error go to `outputFile` (truncated). No other descriptor is inherited.
  // Throws std::system_error when the process cannot be created; a program
  // that cannot be executed ends at once with exit status 127.
  ChildProcess(const std::vector<std::string>& argv, const std::filesystem::path& outputFile);
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess();  // Stop() with a short grace time

  pid_t Pid() const { return pid_; }

  // True until the process has ended. Does not reap it, so its process id
  // and group stay reserved until Stop.
  bool Running() const;

  // Asks the process to end (SIGTERM), waits up to `grace`, then kills it
  // (at once for a zero grace); then kills whatever is left of its process
  // group and waits, within a bound, until none of it is running. Safe to
  // call more than once.
  void Stop(std::chrono::milliseconds grace);

 private:
  void WaitForGroupToEnd(std::chrono::milliseconds limit) const;

  pid_t pid_ = -1;
  bool reaped_ = false;
};

}  // namespace vexalo
