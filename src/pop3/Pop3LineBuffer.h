#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace vexalo {

// The POP3 client's receive buffer: bytes read from the socket go in at the
// back, lines ending in CR LF come out at the front. Only the pair CR LF ends a
// line; a lone CR or LF is part of the line's data.
//
// A line of any length up to kMaxLineLength bytes (without its CR LF) is
// received whole: the storage starts at kInitialCapacity and grows as a long
// line needs it, never beyond kMaxLineLength + 2 bytes. Once the bytes held
// without a line end already exceed the longest line, HoldsOverlongLine()
// turns true and the owner must give up on the stream.
class Pop3LineBuffer {
 public:
  static constexpr size_t kInitialCapacity = 64 * 1024;
  static constexpr size_t kMaxLineLength = 1024 * 1024;

  Pop3LineBuffer();

  // Room to read into after the bytes held. Moves the held bytes to the front
  // when less than half the storage is free behind them, and grows the
  // storage when that is needed to offer any room at all; empty only when the
  // storage is at its cap and full.
  std::span<char> FreeSpace();

  // Takes `count` bytes (at most FreeSpace().size()) written into FreeSpace().
  void Commit(size_t count);

  // Cuts the first complete line off the front, without its CR LF; nothing
  // when no CR LF is held yet. The view stays valid until the next call to
  // FreeSpace or Clear.
  std::optional<std::string_view> NextLine();

  // Asked once NextLine found no line: true when the bytes held are more than
  // any line may be, so not even a CR LF arriving next could end one in bounds.
  bool HoldsOverlongLine() const;

  // The bytes held that NextLine has not cut off yet; valid as NextLine's.
  std::string_view Held() const { return {storage_.data() + begin_, end_ - begin_}; }

  // Drops every byte held (a new session starts clean).
  void Clear();

 private:
  std::vector<char> storage_;
  size_t begin_ = 0;    // first byte not yet cut off as a line
  size_t end_ = 0;      // one past the last byte held
  size_t scanned_ = 0;  // bytes from begin_ already known to hold no CR LF
};

}  // namespace vexalo
