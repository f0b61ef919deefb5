#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "pop3/Pop3LineBuffer.h"

namespace vexalo {
namespace {

// Feeds `stream` in pieces of `pieceSize` bytes (as a socket might deliver
// it) and collects every line that comes out.
std::vector<std::string> CutLines(const std::string& stream, size_t pieceSize) {
  Pop3LineBuffer buffer;
  std::vector<std::string> lines;
  for (size_t at = 0; at < stream.size();) {
    const std::span<char> space = buffer.FreeSpace();
    const size_t take = std::min({pieceSize, space.size(), stream.size() - at});
    std::memcpy(space.data(), stream.data() + at, take);
    buffer.Commit(take);
    at += take;
    while (const auto line = buffer.NextLine()) lines.emplace_back(*line);
  }
  return lines;
}

TEST(Pop3LineBufferTest, OnlyCrLfEndsALineHoweverTheBytesArrive) {
  const std::string stream = std::string("+OK\r\n\r\nlone\rcr\r\nlone\nlf\r\n\n\r\r\r\n") +
                             std::string(5000, 'x') + "\r\ntail without end\r";
  const std::vector<std::string> expected = {"+OK",      "",       "lone\rcr",
                                             "lone\nlf", "\n\r\r", std::string(5000, 'x')};
  for (const size_t pieceSize : {stream.size(), size_t{1}, size_t{2}, size_t{7}, size_t{4096}}) {
    EXPECT_EQ(CutLines(stream, pieceSize), expected) << "pieces of " << pieceSize;
  }
}

TEST(Pop3LineBufferTest, LongestLineFitsAndOneByteMoreIsOverlong) {
  const size_t longest = Pop3LineBuffer::kMaxLineLength;
  const std::vector<std::string> lines =
      CutLines(std::string(longest, 'a') + "\r\n" + "next\r\n", 65536);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].size(), longest);
  EXPECT_EQ(lines[1], "next");

  // The line, its CR and then a byte that is not LF: no line can end in bounds.
  Pop3LineBuffer buffer;
  const std::string overlong = std::string(longest, 'b') + "\rc";
  size_t fed = 0;
  while (fed < overlong.size()) {
    const std::span<char> space = buffer.FreeSpace();
    ASSERT_FALSE(space.empty()) << "no room after " << fed << " bytes";
    const size_t take = std::min(space.size(), overlong.size() - fed);
    std::memcpy(space.data(), overlong.data() + fed, take);
    buffer.Commit(take);
    fed += take;
    EXPECT_FALSE(buffer.NextLine());
    EXPECT_EQ(buffer.HoldsOverlongLine(), fed > longest + 1) << fed;
  }
  EXPECT_TRUE(buffer.HoldsOverlongLine());

  buffer.Clear();
  EXPECT_FALSE(buffer.HoldsOverlongLine());
  EXPECT_FALSE(buffer.NextLine());
}

}  // namespace
}  // namespace vexalo
