// The conversions take runs of kanji and ASCII many bytes at a time. Here
// they are held against a byte-at-a-time reading of the rules their header
// states, over random lines built to cross every piece boundary: runs of
// every length up to forty bytes, stray and truncated pairs, escapes at both
// ends and split by the line's end.

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "jconv/Cp932Repair.h"
#include "jconv/JisConv.h"

namespace vexalo {
namespace {

bool IsJis(unsigned char byte) { return byte >= 0x21 && byte <= 0x7E; }

std::string ModelEuc(const std::string& line) {
  std::string out;
  const auto at = [&](size_t i) { return static_cast<unsigned char>(line[i]); };
  for (size_t i = 0; i < line.size();) {
    const unsigned char b = at(i);
    const bool next = i + 1 < line.size();
    if (TJisConv::IsEucByte(b)) {
      if (next && TJisConv::IsEucByte(at(i + 1))) {
        out += TJisConv::JisPairToSjis(b - 0x80, at(i + 1) - 0x80);
        i += 2;
      } else {
        ++i;
      }
    } else if (b == 0x8E && next && TJisConv::IsHalfKanaByte(at(i + 1))) {
      out += line[i + 1];
      i += 2;
    } else if (b == 0x8F && i + 2 < line.size() && TJisConv::IsEucByte(at(i + 1)) &&
               TJisConv::IsEucByte(at(i + 2))) {
      out += "\x81\xAC";
      i += 3;
    } else {
      out += line[i++];
    }
  }
  return out;
}

std::string ModelJis(const std::string& line) {
  enum { kSingle, kDouble, kKana } mode = kSingle;
  std::string out;
  const auto at = [&](size_t i) { return static_cast<unsigned char>(line[i]); };
  for (size_t i = 0; i < line.size();) {
    if (at(i) == 0x1B && i + 2 < line.size()) {
      const std::string set = line.substr(i + 1, 2);
      if (set == "$B" || set == "$@" || set == "(B" || set == "(J" || set == "(I") {
        mode = set[0] == '$' ? kDouble : set == "(I" ? kKana : kSingle;
        i += 3;
        continue;
      }
    }
    if (mode == kDouble) {
      if (i + 1 < line.size() && IsJis(at(i)) && IsJis(at(i + 1))) {
        out += TJisConv::JisPairToSjis(at(i), at(i + 1));
        i += 2;
      } else {
        ++i;  // dropped alone, an escape we do not read among them
      }
    } else if (mode == kKana && at(i) != 0x1B && at(i) >= 0x21 && at(i) <= 0x5F) {
      out += static_cast<char>(at(i++) + 0x80);
    } else {
      out += line[i++];
    }
  }
  return out;
}

// A line of pieces: kanji runs of any length (a JIS text writes them behind
// its escape), ASCII runs, and odd bytes that end or break a run.
std::string RandomLine(std::mt19937& random, bool euc) {
  const auto pick = [&](unsigned below) { return static_cast<unsigned>(random() % below); };
  const char* const kEscapes[] = {"\x1B$B", "\x1B(B", "\x1B(I", "\x1B(J",
                                  "\x1B$@", "\x1B$",  "\x1B"};
  const unsigned char kOdd[] = {0x80, 0x8E, 0x8F, 0xA0, 0xA1, 0xDF, 0xFE, 0xFF, 0x7F,
                                0x20, 0x21, 0x7E, 0x1B, 0x00, 0x0A, ',',  0xE0, 0x81};
  std::string line;
  const unsigned pieces = pick(8);
  for (unsigned piece = 0; piece < pieces; ++piece) {
    switch (pick(4)) {
      case 0: {
        if (!euc) line += "\x1B$B";
        const unsigned pairs = pick(21);
        for (unsigned i = 0; i < pairs; ++i) {
          const unsigned char first = 0x21 + pick(0x5E);
          const unsigned char second = 0x21 + pick(0x5E);
          line += static_cast<char>(euc ? first | 0x80 : first);
          line += static_cast<char>(euc ? second | 0x80 : second);
        }
        break;
      }
      case 1: {
        if (!euc && pick(2) == 0) line += "\x1B(B";
        const unsigned length = pick(41);
        for (unsigned i = 0; i < length; ++i) line += static_cast<char>(0x20 + pick(0x5F));
        break;
      }
      case 2:
        line += euc ? std::string(1, static_cast<char>(kOdd[pick(sizeof kOdd)]))
                    : std::string(kEscapes[pick(7)]);
        break;
      default:
        line += static_cast<char>(kOdd[pick(sizeof kOdd)]);
        break;
    }
  }
  return line;
}

// Short lines, and long ones made of several, which are read where they lie
// rather than from a padded copy.
std::string RandomLineOfAnyLength(std::mt19937& random, bool euc) {
  std::string line = RandomLine(random, euc);
  if (random() % 4 == 0) {
    while (line.size() <= 300) line += RandomLine(random, euc);
  }
  return line;
}

TEST(JisRuns, ConversionsReadLikeOneByteAtATime) {
  const TJisConv conv;
  std::mt19937 random(20261211);
  std::string reused;  // a caller's string, converted into line after line
  for (int round = 0; round < 40000; ++round) {
    const std::string euc = RandomLineOfAnyLength(random, true);
    const std::string jis = RandomLineOfAnyLength(random, false);
    const std::string fromEuc = conv.ConvertEucToSjis(euc);
    const std::string fromJis = conv.ConvertJisToSjis(jis);
    ASSERT_EQ(fromEuc, ModelEuc(euc)) << testing::PrintToString(euc);
    ASSERT_EQ(fromJis, ModelJis(jis)) << testing::PrintToString(jis);

    // The stored forms skip the repair only where it would change nothing.
    std::string repaired = fromEuc;
    RepairCp932(repaired);
    ASSERT_EQ(conv.ConvertEucToCp932(euc), repaired) << testing::PrintToString(euc);
    conv.ConvertEucToCp932(euc, reused);
    ASSERT_EQ(reused, repaired) << testing::PrintToString(euc);
    repaired = fromJis;
    RepairCp932(repaired);
    ASSERT_EQ(conv.ConvertJisToCp932(jis), repaired) << testing::PrintToString(jis);
    conv.ConvertJisToCp932(jis, reused);
    ASSERT_EQ(reused, repaired) << testing::PrintToString(jis);
  }
}

// Edges of the stored forms: half-width kana (single bytes the repair keeps),
// bytes that are no CP932, and lead bytes left by a run that ends.
TEST(JisRuns, StoredFormsAtTheEdges) {
  struct Case {
    std::string in;
    bool euc;
    std::string out;
  };
  const Case cases[] = {
      {"\x8E\xB1\x8E\xDF", true, "\xB1\xDF"},              // half-width kana kept
      {"\x1B(I1_\x1B(B", false, "\xB1\xDF"},               // and from JIS X 0201
      {"\x80\xA0\xFF", true, "\x81\xAC\x81\xAC\x81\xAC"},  // no CP932: each a geta mark
      {"a\x85", true, "a\x81\xAC"},                        // a stray lead byte last
      {"\x85\xB0\xA1", true, "\x85\x88\x81\xAC"},          // a stray lead takes half the next kanji
      {"\x1B$B0!\x1B(B\x81", false, "\x88\x9F\x81\xAC"},   // 8-bit byte after the escape back
      {"\x1B$B0!\x1B(", false, "\x88\x9F"},                // an escape cut by the line's end
      {"\x1B$B0", false, ""},                              // a lone last byte dropped
  };
  const TJisConv conv;
  for (const Case& c : cases) {
    const std::string out = c.euc ? conv.ConvertEucToCp932(c.in) : conv.ConvertJisToCp932(c.in);
    EXPECT_EQ(out, c.out) << testing::PrintToString(c.in);
  }
  // An empty line with no data behind it at all, as a default string_view.
  EXPECT_EQ(conv.ConvertEucToCp932(std::string_view()), "");
  EXPECT_EQ(conv.ConvertJisToCp932(std::string_view()), "");
}

}  // namespace
}  // namespace vexalo
