#pragma once

#include <string>

#include "platform/PosixFile.h"

namespace vexalo {

// The new text of a file, written beside it and put in its place in one step,
// so that at every moment the file holds its old text or its new one, whole.
// The new file gets a name nobody can have chosen before ("<path>.tmp." and
// random letters) and is created with O_EXCL and O_NOFOLLOW: whoever else may
// write the folder cannot make us follow a link or overwrite a file of his.
class ReplacementFile {
 public:
  // Creates the new file, empty, with the permission bits of the regular file
  // now at `path`, or 0600 when there is none. Raises EInOutError naming
  // `path` (with EACCES or EPERM when the folder refuses new files).
  explicit ReplacementFile(std::string path);
  // Removes the new file unless it took the file's place.
  ~ReplacementFile();
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  // Where the new text goes.
  PosixFile& File() { return file_; }

  // How far Commit waits for the disk.
  enum class Durability {
    kSynced,  // the new text and the rename are on stable storage when Commit returns
    kCache,   // a crash may bring the old text back (never a mix of both)
  };

  // Renames the new text over the file: first flushed to stable storage, and
  // the folder's entries after the rename, unless `durability` is kCache.
  // Raises EInOutError naming the file; the file then keeps its old text.
  void Commit(Durability durability = Durability::kSynced);

 private:
  std::string path_;
  PosixFile file_;
  bool committed_ = false;
};

}  // namespace vexalo
