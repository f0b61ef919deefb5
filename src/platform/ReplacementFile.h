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

  // Flushes the new text to stable storage, renames it over the file and
  // flushes the folder's entries. Raises EInOutError naming the file; the
  // file then keeps its old text.
  void Commit();

 private:
  std::string path_;
  PosixFile file_;
  bool committed_ = false;
};

}  // namespace vexalo
