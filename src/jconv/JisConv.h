#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vexalo {

// How text after ESC ( J is to be read. Kept as a setting of the converter;
// the conversions treat JIS X 0201 Roman exactly like ASCII either way.
enum TJisByteCodeType : uint8_t {
  btAscii = 0,
  btRoman = 1,
};

// How half-width katakana are to be widened. Kept as a setting of the
// converter; the conversions leave half-width katakana half-width either way.
enum TJisKanaConvType : uint8_t {
  ktNone = 0,
  ktZenWithDaku = 1,
  ktZenSepaDaku = 2,
};

// Turns one line of mail text in ISO-2022-JP or EUC-JP into Shift-JIS (CP932).
//
// Every call converts one complete line (no line end) and keeps nothing from
// one call to the next, so one instance may serve any number of messages and
// threads. Nothing is reported or raised: bytes that fit no character are
// copied or dropped as each operation states, and the result never holds a
// byte below 0x40 that was not in the line (no line end, comma or control byte
// is ever made up out of broken input).
class TJisConv {
 public:
  TJisByteCodeType JisByteCodeType() const { return byteCodeType_; }
  void SetJisByteCodeType(TJisByteCodeType type) { byteCodeType_ = type; }
  TJisKanaConvType JisKanaConvType() const { return kanaConvType_; }
  void SetJisKanaConvType(TJisKanaConvType type) { kanaConvType_ = type; }

  // One ISO-2022-JP line. The line starts in ASCII whatever the line before
  // ended in. Recognised designations, which never reach the result:
  //   ESC ( B, ESC ( J      single bytes, copied
  //   ESC $ B, ESC $ @      JIS X 0208 (and its 1978 form): pairs 0x21-0x7E
  //   ESC ( I               JIS X 0201 katakana: 0x21-0x5F become the
  //                         half-width katakana 0xA1-0xDF, other bytes copied
  // Any other byte sequence, SO and SI included, is copied in the single-byte
  // modes. In double-byte mode a byte that cannot be half of a JIS X 0208
  // character (outside 0x21-0x7E) is dropped on its own, so the bytes after it,
  // an escape sequence among them, are read in step again; a lone last byte is
  // dropped too.
  std::string ConvertJisToSjis(std::string_view line) const;

  // One EUC-JP line. 0xA1-0xFE pairs are JIS X 0208 characters; 0x8E and a
  // byte 0xA1-0xDF is a half-width katakana; 0x8F and two bytes 0xA1-0xFE is a
  // JIS X 0212 character, which has no Shift-JIS code and becomes the geta
  // mark (0x81 0xAC). A lead byte 0xA1-0xFE not followed by a byte 0xA1-0xFE
  // is dropped and the byte after it read on its own. Everything else (ASCII,
  // a 0x8E or 0x8F that starts no character, 0x80-0xA0, 0xFF) is copied.
  std::string ConvertEucToSjis(std::string_view line) const;

  // The same conversions for text that is stored: any byte they copy as it
  // stands and that is no CP932 is repaired as RepairCp932 does, so the
  // result is well-formed CP932. Equal to RepairCp932 after the conversion,
  // byte for byte; the repair only runs for an ISO-2022-JP line that held a
  // byte from 0x80 up or an EUC-JP line that copied one, since everything
  // else they write is whole characters.
  std::string ConvertJisToCp932(std::string_view line) const;
  std::string ConvertEucToCp932(std::string_view line) const;
  // The same into `text`, replacing what it held and reusing its memory, so
  // a caller converting line after line allocates nothing once `text` has
  // grown. `line` must not lie in `text`. The ISO-2022-JP one tells whether
  // the line held a byte from 0x80 up, which that 7-bit code has none of.
  bool ConvertJisToCp932(std::string_view line, std::string& text) const;
  void ConvertEucToCp932(std::string_view line, std::string& text) const;

  // The Shift-JIS code of one JIS X 0208 character given by its row and cell
  // bytes (0x21-0x7E each): two bytes, or an empty string when either byte is
  // out of that range. Plain arithmetic, so the NEC and IBM extension rows of
  // CP932 come out at their NEC codes too.
  static std::string JisPairToSjis(unsigned char first, unsigned char second);

  static bool IsEucByte(unsigned char byte) { return byte >= 0xA1 && byte <= 0xFE; }
  static bool IsHalfKanaByte(unsigned char byte) { return byte >= 0xA1 && byte <= 0xDF; }

 private:
  // The conversions into `text`, telling whether the line held a byte from
  // 0x80 up (ISO-2022-JP) or copied one (EUC-JP).
  static void ConvertJisToSjis(std::string_view line, std::string& text, bool& eightBit);
  static void ConvertEucToSjis(std::string_view line, std::string& text, bool& strayCopied);

  TJisByteCodeType byteCodeType_ = btAscii;
  TJisKanaConvType kanaConvType_ = ktZenWithDaku;
};

}  // namespace vexalo
