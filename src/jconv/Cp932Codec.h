#pragma once

#include <string>
#include <string_view>

namespace vexalo {

// CP932 <-> UTF-8 for the edge of the GUI (the GUI wraps the UTF-8 side in
// QString::fromUtf8 / toUtf8). Both run on glibc iconv's "CP932" table, so the
// NEC and IBM extension characters (①, ㈱, ⅰ, 髙 …) convert both ways.
//
// Neither fails on any input: whatever does not convert becomes one stand-in
// per undecodable byte or unencodable character, and the walk goes on after
// it, so every call ends after one pass over its input. The only error raised
// is std::runtime_error when the system's iconv has no CP932 table at all.
//
// Round trips: UTF-8 -> CP932 -> UTF-8 gives back every character CP932 has.
// CP932 -> UTF-8 -> CP932 gives back every byte string written in the codes
// Windows prefers; a character with two or three codes comes back at the
// preferred one: the NEC-selected IBM rows 0xED/0xEE at their IBM codes
// 0xFA-0xFC, the IBM codes of NEC characters (Ⅰ, ㈱ …) at row 0x87, and
// ≒ ≡ ∫ √ ⊥ ∠ ∵ ∩ ∪ ￢ of rows 0x87 and 0xFA at row 0x81.

// A lead and trail byte that name no character (0x81 0xAD) become one U+FFFD;
// a byte that starts no character (0x80, 0xA0, 0xFD-0xFF, a lead byte not
// followed by a trail byte or at the end) becomes one U+FFFD on its own, and
// the byte after it is read afresh.
std::string Cp932ToUtf8(std::string_view cp932);

// A character CP932 does not have becomes the geta mark 〓 (0x81 0xAC), the
// usual stand-in in Japanese text; so does each byte that is not valid UTF-8.
std::string Utf8ToCp932(std::string_view utf8);

}  // namespace vexalo
