#pragma once

#include <sys/resource.h>

namespace vexalo::testing {

// Lowers this process's file-size limit while it lives. SIGXFSZ, which the
// system sends past the limit, would end the whole test program unless the
// append keeps it away.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &before_);
    const rlimit lowered{bytes, before_.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &lowered);
  }
  ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &before_); }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit before_{};
};

}  // namespace vexalo::testing
