#pragma once

#include <stdexcept>
#include <string>

#include "platform/FailureKind.h"

namespace vexalo {

// The kind of failure an errno value of a file routine is.
FailureKind FileFailureKind(int errorCode);

// The error every file routine raises when the system refuses an open, read,
// write or close. Its message is the CP932 text shown to the user; the errno
// that caused it stays available for callers that want to tell cases apart.
class EInOutError : public std::runtime_error {
 public:
  explicit EInOutError(int errorCode);
  // The same, naming the file (`path`, as the system spells it) where the
  // user has something to do about it: refused access, a full disk, and a
  // data file that is no regular file.
  EInOutError(int errorCode, const std::string& path);

  int ErrorCode() const { return errorCode_; }
  FailureKind Kind() const { return FileFailureKind(errorCode_); }

 private:
  int errorCode_;
};

// The user-facing CP932 text for an errno value: a fixed text for a missing
// file, a bad name, too many open files, refused access, a full disk and
// something that is no regular file (ENXIO), and "I/O エラー (n)" with the
// number for everything else.
std::string InOutErrorText(int errorCode);

}  // namespace vexalo
