// The POP3 receive path on hostile bytes: the line buffer fed in pieces of
// sizes the input chooses, and every line it gives through the reply readers
// the client uses for status, counts and unique ids.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "pop3/Pop3LineBuffer.h"
#include "pop3/Pop3ReplyParsers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // The first byte sets the piece size, so lines split anywhere.
  const size_t pieceSize = data[0] % 64 + 1;
  std::string_view stream(reinterpret_cast<const char*>(data) + 1, size - 1);
  vexalo::Pop3LineBuffer buffer;
  while (!stream.empty()) {
    const auto room = buffer.FreeSpace();
    if (room.empty()) return 0;  // the client gives up on the stream here
    const size_t take = std::min({pieceSize, room.size(), stream.size()});
    std::memcpy(room.data(), stream.data(), take);
    buffer.Commit(take);
    stream.remove_prefix(take);
    while (const auto line = buffer.NextLine()) {
      vexalo::ReadDecimal(*line);
      vexalo::ParseTwoNumbers(*line);
      const vexalo::UidlEntry entry = vexalo::ParseUidlLine(*line);
      if (entry.id.size() > line->size()) __builtin_trap();
    }
    if (buffer.HoldsOverlongLine()) return 0;
  }
  return 0;
}
