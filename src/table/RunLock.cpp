#include "table/RunLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/InOutError.h"
#include "platform/PosixFile.h"

namespace vexalo {

namespace {

bool IsRefusal(int errorCode) { return errorCode == EACCES || errorCode == EPERM; }

}  // namespace

bool RunLock::TryAcquire(const std::string& path, const std::string& fallback) {
  Release();
  // Nothing here may wait: a FIFO planted under either name would otherwise
  // hold the run in open(). A link planted as the lock file is not followed.
  int fd = OpenRetrying(path, O_RDWR | O_CREAT | O_NONBLOCK | O_NOFOLLOW);
  if (fd < 0 && IsRefusal(errno)) {
    // A lock needs no right to write: a lock file another user made is
    // opened for reading, and a folder that refuses a new one leaves the
    // data file itself to lock.
    fd = OpenRetrying(path, O_RDONLY | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0 && errno == ENOENT) {
      fd = OpenRetrying(fallback, O_RDONLY | O_NONBLOCK);
      if (fd < 0) throw EInOutError(errno, fallback);
      return LockOpened(fd, fallback);
    }
  }
  if (fd < 0) throw EInOutError(errno, path);
  return LockOpened(fd, path);
}

bool RunLock::LockOpened(int fd, const std::string& path) {
  int locked;
  do {
    locked = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0) {
    const int error = errno;
    ::close(fd);
    if (error == EWOULDBLOCK) return false;
    throw EInOutError(error, path);
  }
  fd_ = fd;
  return true;
}

void RunLock::Release() {
  if (fd_ < 0) return;
  // Closing the only descriptor of the open file drops its lock.
  ::close(fd_);
  fd_ = -1;
}

}  // namespace vexalo
