#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "jconv/JisConv.h"
#include "mail/MimeHeader.h"
#include "mail/PartText.h"
#include "mail/TextLineSink.h"

namespace vexalo {

// Finds, in the body of a message fed line by line, the text its items are
// read from, and hands on that text's lines as CP932.
//
// A body that is no multipart is that text itself (HTML made text when it is
// text/html). A multipart's parts are walked depth first, nested multiparts
// included: the text is the first text/plain part that is no attachment, or,
// when there is none, the first such text/html part made text. Every other
// part is passed over line by line and nothing of it is kept.
//
// Streaming has one cost: an HTML part met before any text/plain part cannot
// know whether one follows. Its lines are held (up to kMaxHeldLines and
// kMaxHeldBytes) and handed on when the outermost multipart closes or the
// message ends without a text/plain part; a text/plain part drops them.
class TMimeWalker {
 public:
  static constexpr size_t kMaxHeldLines = 65536;
  static constexpr size_t kMaxHeldBytes = 16 * 1024 * 1024;
  // Deeper multiparts than this are passed over; mail nests three or four.
  static constexpr size_t kMaxDepth = 32;

  explicit TMimeWalker(const TJisConv& jisConv) : text_(jisConv) {}

  // The body of a message whose header said `message`.
  void Start(const MimePartInfo& message);
  void Line(std::string_view line, const TextLineSink& sink);
  // The end of the message.
  void Finish(const TextLineSink& sink);
  // Whether the body had a text to read: it is one itself, or a part of it
  // is, and not in a charset of two- or four-byte units (UTF-16, UTF-32),
  // whose lines cannot be cut at the message's line ends.
  bool FoundText() const { return (singlePart_ || plainFound_ || htmlFound_) && !wideText_; }

 private:
  enum Step : uint8_t { stepPassOver, stepPartHeader, stepText, stepHeldText };

  // When `line` is a delimiter of an open multipart: ends the part before it
  // and returns true.
  bool TakeDelimiterLine(std::string_view line, const TextLineSink& sink);
  void StartPart(const MimePartInfo& part);
  void PartLine(std::string_view line, const TextLineSink& sink);
  void PartLines(size_t emptyLines, const TextLineSink& sink);
  void EndText(const TextLineSink& sink);
  void HandOnHeldLines(const TextLineSink& sink);
  void Hold(std::string_view line);

  TPartText text_;
  TMimeHeaderReader partHeader_;
  Step step_ = stepPassOver;
  std::vector<std::string> delimiters_;  // "--" and the boundary, outermost first
  bool singlePart_ = false;
  bool wideText_ = false;  // the text found is UTF-16 or UTF-32
  bool plainFound_ = false;
  bool htmlFound_ = false;
  size_t emptyLinesHeld_ = 0;  // empty lines of the part not yet handed on
  std::vector<std::string> held_;
  size_t heldBytes_ = 0;
};

}  // namespace vexalo
