#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "mail/TextLineSink.h"

namespace vexalo {

// Turns an HTML text, already CP932 and fed line by line, into the lines a
// reader sees. Tags are dropped, and so is everything inside <style>,
// <script>, <title> and comments. <br> ends a line, also an empty one; the
// start or end of a block (<p>, <div>, <tr>, <li>, <table>, headings, …) ends
// a line that holds more than blanks. The end of a table cell leaves a blank,
// so cells never run together. Runs of blanks, tabs and source line ends are
// one blank, as a browser shows them. &amp; &lt; &gt; &quot; &apos; &nbsp;
// and &#NNN; / &#xHH; are decoded (a character CP932 lacks becomes the geta
// mark); any other "&" stays as written.
//
// Only the line being built and the tag being read are held; HTML's bytes
// "<", ">", "&" and ";" are never the second byte of a CP932 character, so
// reading byte by byte never splits one.
class THtmlToText {
 public:
  void Reset();
  void Line(std::string_view line, const TextLineSink& sink);
  // The end of the text: hands on a last line that holds more than blanks.
  void Finish(const TextLineSink& sink);

 private:
  enum Where : uint8_t { inText, inTag, inComment, inHiddenText };

  void TextByte(char c);
  // The entity read after "&" ends, at a semicolon or at some other byte.
  void EntityEnd(bool withSemicolon);
  void TagEnd(const TextLineSink& sink);
  void HiddenByte(char c);
  void AppendBlank();
  void Append(std::string_view text);
  void EndLine(bool evenBlank, const TextLineSink& sink);

  Where where_ = inText;
  std::string line_;
  bool overlong_ = false;   // line_ reached its cap; the rest of it is dropped
  bool afterLead_ = false;  // line_ ends in the first byte of a double-byte character
  std::string tag_;         // after "<", up to kMaxTagBytes
  char quote_ = 0;          // the quote an attribute value in the tag is open with
  std::string entity_;      // after "&" while it can still be an entity
  bool inEntity_ = false;
  // In hidden text: the end tag awaited ("</STYLE") and how much of it is in.
  std::string_view hiddenEnd_;
  size_t hiddenMatched_ = 0;
  int commentDashes_ = 0;  // "-" seen just before, inside a comment
};

}  // namespace vexalo
