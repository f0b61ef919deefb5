#include "platform/ReplacementFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>

#include "platform/InOutError.h"

namespace vexalo {

namespace {

constexpr char kTemporaryInfix[] = ".tmp.";
constexpr mode_t kPermissionBits = 07777;

PosixFile CreateBeside(const std::string& path) {
  try {
    return PosixFile::CreateUnique(path + kTemporaryInfix);
  } catch (const EInOutError& error) {
    throw EInOutError(error.ErrorCode(), path);  // the user knows the file, not its stand-in
  }
}

}  // namespace

ReplacementFile::ReplacementFile(std::string path)
    : path_(std::move(path)), file_(CreateBeside(path_)) {
  struct stat old {};
  // The user chose who may read a file that is there already.
  if (::stat(path_.c_str(), &old) != 0 || !S_ISREG(old.st_mode)) return;
  try {
    file_.SetPermissions(old.st_mode & kPermissionBits);
  } catch (const EInOutError& error) {
    ::unlink(file_.Path().c_str());
    throw EInOutError(error.ErrorCode(), path_);
  }
}

ReplacementFile::~ReplacementFile() {
  if (!committed_) ::unlink(file_.Path().c_str());
}

void ReplacementFile::Commit(Durability durability) {
  const bool synced = durability == Durability::kSynced;
  try {
    if (synced) file_.Sync();
    file_.Close();
  } catch (const EInOutError& error) {
    throw EInOutError(error.ErrorCode(), path_);
  }
  if (std::rename(file_.Path().c_str(), path_.c_str()) != 0) throw EInOutError(errno, path_);
  committed_ = true;
  if (synced) PosixFile::SyncFolderOf(path_);
}

}  // namespace vexalo
