#include "platform/InOutError.h"

#include <cerrno>

#include "jconv/Cp932Codec.h"
#include "platform/UserTexts.h"

namespace vexalo {

std::string InOutErrorText(int errorCode) {
  switch (errorCode) {
    case ENOENT:
      return Cp932Text(UserText::kFileNotFound);
    case ENAMETOOLONG:
    case ENOTDIR:
    case ELOOP:
    case EINVAL:
      return Cp932Text(UserText::kBadFileName);
    case EMFILE:
    case ENFILE:
      return Cp932Text(UserText::kTooManyOpenFiles);
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:  // a folder in the file's place refuses it like a protected file
      return Cp932Text(UserText::kFileAccessDenied);
    case ENOSPC:
    case EDQUOT:
      return Cp932Text(UserText::kDiskFull);
    case ENXIO:  // a FIFO, a device: what PosixFile refuses as a data file
      return Cp932Text(UserText::kNotARegularFile);
    default:
      return Cp932Text(UserText::kInOutError, {std::to_string(errorCode)});
  }
}

FailureKind FileFailureKind(int errorCode) {
  switch (errorCode) {
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return FailureKind::kFileAccess;
    case ENOSPC:
    case EDQUOT:
      return FailureKind::kDiskFull;
    default:
      return FailureKind::kFile;
  }
}

namespace {

bool NamesTheFile(int errorCode) {
  switch (errorCode) {
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ENOSPC:
    case EDQUOT:
    case ENXIO:
      return true;
    default:
      return false;
  }
}

std::string TextNamingFile(int errorCode, const std::string& path) {
  std::string text = InOutErrorText(errorCode);
  // The user has to find the file to free its folder or its disk; a path is
  // UTF-8 on this system, the text CP932.
  if (NamesTheFile(errorCode) && !path.empty()) text += " (" + Utf8ToCp932(path) + ")";
  return text;
}

}  // namespace

EInOutError::EInOutError(int errorCode)
    : std::runtime_error(InOutErrorText(errorCode)), errorCode_(errorCode) {}

EInOutError::EInOutError(int errorCode, const std::string& path)
    : std::runtime_error(TextNamingFile(errorCode, path)), errorCode_(errorCode) {}

}  // namespace vexalo
