#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace vexalo {

// What a small file holds, read in one go.
struct SmallFileContent {
  enum class State {
    kAbsent,    // no such file
    kRead,      // `text` holds the whole file, `mode` its permission bits
    kTooLarge,  // a regular file over the limit
    kUnusable,  // there, but not a regular file, or unreadable
  };
  State state = State::kAbsent;
  std::string text;
  mode_t mode = 0;
};

// Reads the whole of the file at `path` when it is a regular file of at most
// `limit` bytes. Never blocks on a FIFO or device and never raises for the
// file's sake.
SmallFileContent ReadSmallFile(const std::string& path, std::size_t limit);

// Replaces the content of the file at `path` by `text` so that a reader never
// sees a half-written file: the text goes to a new file in the same folder,
// is flushed to disk, and is renamed over the old one. The new file gets
// `mode`. A symbolic link at `path` is followed, so the link stays and its
// target is replaced. An existing file the caller may not write is left
// alone, as with a plain write. When the folder refuses the new file but the
// file itself may be written, it is rewritten in place instead (and gets
// `mode`): not proof against a crash, but the only way to save at all there.
// Returns false, with no temporary left behind, when any step fails.
bool ReplaceSmallFile(const std::string& path, std::string_view text, mode_t mode);

}  // namespace vexalo
