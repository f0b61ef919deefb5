#pragma once

#include <string>

namespace vexalo {

// An exclusive lock on a file beside the data files, held by one run from its
// start to its end, so that two runs on one folder (vexalo-fetch twice, or
// from cron beside the desktop program) never take the same mails twice. The
// lock is flock(2) on the open file: the system drops it when the process
// ends, however it ends, and a second open in the same process meets it too.
class RunLock {
 public:
  RunLock() = default;
  ~RunLock() { Release(); }
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;

  // Takes the lock of the file at `path`, creating the file when it is
  // missing; false, without waiting, when another holder has it. Raises
  // EInOutError when the file cannot be opened or locked.
  bool TryAcquire(const std::string& path);
  // Gives the lock up; nothing when it is not held.
  void Release();
  bool Held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace vexalo
