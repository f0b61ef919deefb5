#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ReplacementFile.h"

namespace vexalo {

// The small files a run keeps beside AllData.csv to save work or to prove
// what it took (Unpicked.txt, TakenHeaders.txt): each is replaced whole, so
// a crash leaves the old file or the new one, never half of one, or appended
// to by lines whose reader leaves out a last one a crash cut.
// Neither is waited for on the disk: one lost with a crash costs only work
// (headers read again) or leaves mail on the server (a proof missing), and
// an older one says nothing that stopped being true; a file a crash left
// unreadable reads as none.

// The whole file, or nothing when it is missing, unreadable, or larger than
// any file this program writes.
std::optional<std::string> ReadSideFile(const std::string& path);

// Replaces the file at `path` with `text` through a ReplacementFile (written
// beside it, renamed over it, not synced). Raises EInOutError.
void ReplaceSideFile(const std::string& path, std::string_view text);

// A replacement of the file at `path` written a line at a time, as
// ReplaceSideFile writes it, through a buffer of a few pages, so a large
// file needs no text of its size in memory. Raises EInOutError; without a
// Commit the file keeps its old text.
class SideFileWriter {
 public:
  explicit SideFileWriter(const std::string& path);
  // Adds the pieces and a CR LF.
  void AppendLine(std::initializer_list<std::string_view> pieces);
  void Commit();

 private:
  ReplacementFile replacement_;
  std::string buffer_;
};

// Appends `text` to the file at `path` (created 0600 when missing), not
// synced, as ReplaceSideFile. Raises EInOutError.
void AppendSideFile(const std::string& path, std::string_view text);

// Whether `id` can stand on a line of a side file: printable ASCII, as the
// client takes ids, and of a plausible length.
bool IsStorableId(std::string_view id);

}  // namespace vexalo
