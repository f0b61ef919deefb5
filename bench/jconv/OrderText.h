#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vexalo::bench {

// Order-mail body lines as the parser meets them: a name of a few kanji, the
// separator, a value of kanji, kana and digits. Built from a fixed seed so
// every run times the same text; `jis` holds ISO-2022-JP lines, `euc` the
// same characters in EUC-JP.
struct OrderText {
  std::vector<std::string> jis;
  std::vector<std::string> euc;
  size_t jisBytes = 0;
  size_t eucBytes = 0;
};

inline OrderText MakeOrderText(size_t minJisBytes) {
  uint32_t seed = 12345;
  auto next = [&seed](uint32_t range) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % range;
  };
  // Cells every JIS X 0208 table defines: hiragana, katakana, level-1 kanji.
  auto pickPair = [&next]() -> std::pair<char, char> {
    switch (next(3)) {
      case 0:
        return {0x24, static_cast<char>(0x21 + next(0x53))};
      case 1:
        return {0x25, static_cast<char>(0x21 + next(0x56))};
      default:
        return {static_cast<char>(0x30 + next(0x1F)), static_cast<char>(0x21 + next(0x5E))};
    }
  };
  auto addKanji = [&](std::string& jis, std::string& euc, uint32_t count) {
    jis += "\x1B$B";
    for (uint32_t i = 0; i < count; ++i) {
      const auto [row, cell] = pickPair();
      jis += row;
      jis += cell;
      euc += static_cast<char>(row | 0x80);
      euc += static_cast<char>(cell | 0x80);
    }
    jis += "\x1B(B";
  };
  OrderText text;
  while (text.jisBytes < minJisBytes) {
    std::string jis;
    std::string euc;
    addKanji(jis, euc, 2 + next(3));
    jis += ':';
    euc += ':';
    addKanji(jis, euc, 3 + next(8));
    const std::string digits = " " + std::to_string(next(100000));
    jis += digits;
    euc += digits;
    text.jisBytes += jis.size();
    text.eucBytes += euc.size();
    text.jis.push_back(std::move(jis));
    text.euc.push_back(std::move(euc));
  }
  return text;
}

inline std::string Join(const std::vector<std::string>& lines) {
  std::string joined;
  for (const std::string& line : lines) joined.append(line).append("\n");
  return joined;
}

}  // namespace vexalo::bench
