#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vexalo {

// Base64 as mail carries it: a text cut into lines at any point, read one
// piece at a time. Characters outside the alphabet "A-Z a-z 0-9 + /" (line
// ends, blanks, stray bytes) are skipped; "=" ends a group, dropping the bits
// that make no whole byte, so padding in the middle (pieces encoded one by
// one and joined) reads as it was meant. Whole bytes are given as soon as
// their bits are in; nothing else is held.
class Base64Stream {
 public:
  // Appends to `out` the bytes that `text` completes.
  void Decode(std::string_view text, std::string& out);

  // Forgets the bits of an unfinished byte, before the next text.
  void Reset() {
    bits_ = 0;
    bitCount_ = 0;
  }

 private:
  uint32_t bits_ = 0;
  int bitCount_ = 0;  // below 8 between calls
};

}  // namespace vexalo
