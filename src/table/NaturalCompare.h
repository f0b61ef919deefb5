#pragma once

#include <string_view>

namespace vexalo {

// Orders two CP932 texts as an office reader expects a list to be ordered:
// runs of ASCII digits compare by the number they spell, whatever their
// length ("9" before "10", "2026/12/10 9:00:00" before "2026/12/10 10:00:00"),
// a comma between two digits, "," or the full-width "，" a stored cell holds,
// taken as a thousands separator inside the number ("1，000" is 1000, after
// "999" and before "2，500"),
// and everything else compares by its bytes, unsigned, so double-byte
// characters follow their code order and come after ASCII. A text that is the
// beginning of another comes first. Numbers that differ only in leading zeros
// are equal as numbers; only when the whole texts are equal that way do their
// bytes decide, so that no two different texts compare equal.
//
// Negative when `a` comes first, positive when `b` does, 0 for equal bytes.
int CompareNatural(std::string_view a, std::string_view b);

}  // namespace vexalo
