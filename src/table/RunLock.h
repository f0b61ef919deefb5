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
  // missing; false, without waiting, when another holder has it. When the
  // folder refuses the new file (a program folder the user may not write,
  // holding data files he may), the lock is taken on the existing file
  // `fallback` instead, which every run on that folder meets the same way.
  // Raises EInOutError when neither can be opened or locked.
  bool TryAcquire(const std::string& path, const std::string& fallback);
  // Gives the lock up; nothing when it is not held.
  void Release();
  bool Held() const { return fd_ >= 0; }

 private:
  // Takes the lock of the open file `fd` (of `path`) into fd_, or closes it.
  bool LockOpened(int fd, const std::string& path);

  int fd_ = -1;
};

}  // namespace vexalo
