// The conversions against glibc iconv over the whole 94 x 94 JIS X 0208 table:
// every cell that a standard codec knows must come out as that codec says.

#include <gtest/gtest.h>
#include <iconv.h>

#include <optional>
#include <string>

#include "jconv/Cp932Codec.h"
#include "jconv/JisConv.h"

namespace vexalo {
namespace {

// One whole conversion of `input`; nothing when the codec rejects any of it.
std::optional<std::string> Iconv(const char* from, const char* to, const std::string& input) {
  const iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    ADD_FAILURE() << "iconv cannot convert " << from << " to " << to;
    return std::nullopt;
  }
  std::string output(input.size() * 4 + 8, '\0');
  char* in = const_cast<char*>(input.data());
  size_t inLeft = input.size();
  char* out = output.data();
  size_t outLeft = output.size();
  const size_t rc = iconv(cd, &in, &inLeft, &out, &outLeft);
  const bool done = rc != static_cast<size_t>(-1) &&
                    iconv(cd, nullptr, nullptr, &out, &outLeft) != static_cast<size_t>(-1);
  iconv_close(cd);
  if (!done) return std::nullopt;
  output.resize(output.size() - outLeft);
  return output;
}

// SHIFT_JIS first; CP932 for the cells glibc's SHIFT_JIS maps to other
// Unicode characters than its JIS X 0208 (the wave dash and its kin).
std::optional<std::string> OracleSjis(const char* from, const std::string& input) {
  if (auto sjis = Iconv(from, "SHIFT_JIS", input)) return sjis;
  return Iconv(from, "CP932", input);
}

struct Cell {
  unsigned char row;
  unsigned char cell;
};

template <typename Fn>
void ForEachJisCell(Fn fn) {
  for (int row = 0x21; row <= 0x7E; ++row) {
    for (int cell = 0x21; cell <= 0x7E; ++cell) {
      fn(Cell{static_cast<unsigned char>(row), static_cast<unsigned char>(cell)});
    }
  }
}

std::string JisLine(Cell c) {
  return std::string("\x1B$B") + static_cast<char>(c.row) + static_cast<char>(c.cell) + "\x1B(B";
}

std::string EucLine(Cell c) {
  return {static_cast<char>(c.row | 0x80), static_cast<char>(c.cell | 0x80)};
}

// JIS X 0208 has 6879 characters; the check is only as good as the number of
// cells the oracle knew, so that number is pinned.
constexpr int kJisX0208Characters = 6879;

TEST(JisOracle, Iso2022JpMatchesIconvOverJisX0208) {
  const TJisConv conv;
  int compared = 0;
  ForEachJisCell([&](Cell c) {
    const std::string line = JisLine(c);
    const auto expected = OracleSjis("ISO-2022-JP", line);
    if (!expected) return;
    ++compared;
    EXPECT_EQ(TJisConv::JisPairToSjis(c.row, c.cell), *expected)
        << int(c.row) << ' ' << int(c.cell);
    EXPECT_EQ(conv.ConvertJisToSjis(line), *expected) << int(c.row) << ' ' << int(c.cell);
  });
  EXPECT_EQ(compared, kJisX0208Characters);
}

TEST(JisOracle, EucJpMatchesIconvOverJisX0208) {
  const TJisConv conv;
  int compared = 0;
  ForEachJisCell([&](Cell c) {
    const std::string line = EucLine(c);
    const auto expected = OracleSjis("EUC-JP", line);
    if (!expected) return;
    ++compared;
    EXPECT_EQ(conv.ConvertEucToSjis(line), *expected) << int(c.row) << ' ' << int(c.cell);
  });
  EXPECT_EQ(compared, kJisX0208Characters);
}

// NEC row 13 (①, ㈱, Ⅰ …), which JIS X 0208 leaves empty and Windows fills,
// reaches us in EUC-JP from Windows mailers. The check is on the characters.
// Rows 85-94 are left out: Windows puts private-use characters there.
TEST(JisOracle, NecRowMatchesIconvAsCharacters) {
  const TJisConv conv;
  int compared = 0;
  ForEachJisCell([&](Cell c) {
    const std::string line = EucLine(c);
    if (c.row >= 0x75 || Iconv("EUC-JP", "UTF-8", line)) return;
    const auto expected = Iconv("EUC-JP-MS", "UTF-8", line);
    if (!expected) return;
    ++compared;
    EXPECT_EQ(Cp932ToUtf8(conv.ConvertEucToSjis(line)), *expected)
        << int(c.row) << ' ' << int(c.cell);
  });
  EXPECT_GT(compared, 0);
}

}  // namespace
}  // namespace vexalo
