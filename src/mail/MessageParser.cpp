#include "mail/MessageParser.h"

#include <utility>

#include "cipher/Md5.h"
#include "mail/EncodedWords.h"
#include "text/CommFuncs.h"

namespace vexalo {

namespace {

// Only such a line can read otherwise once decoded.
bool MayHoldEncodedText(std::string_view line) {
  if (line.find("=?") != std::string_view::npos) return true;
  for (const char c : line) {
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  }
  return false;
}

}  // namespace

TMessageParser::TMessageParser(const TJisConv& jisConv)
    : walker_(jisConv),
      headerText_(jisConv),
      takeTextLine_([this](std::string_view text) { TakeTextLine(text); }) {}

CharsetMode TMessageParser::DetectCharset(std::string_view contentTypeText) {
  return CharsetModeOf(ParameterValue(contentTypeText, "CHARSET").value_or(""));
}

void TMessageParser::Line(std::string_view line) {
  if (inHeader_) {
    HeaderLine(line);
  } else if (message_.picked) {
    walker_.Line(line, takeTextLine_);
  }
}

ParsedMessage TMessageParser::Finish() {
  if (!inHeader_ && message_.picked) {
    walker_.Finish(takeTextLine_);
    if (!walker_.FoundText()) message_.readable = false;
  }
  // Only a picked mail is ever taken, and only a taken one is proven later.
  if (message_.picked) message_.headerDigest = Md5Hex(headerBytes_);
  headerBytes_.clear();
  ParsedMessage finished = std::exchange(message_, ParsedMessage());
  // Mails of one form give as many items each: room for as many as the last
  // spares the next the vectors' growing, a copy and an allocation a step.
  message_.names.reserve(finished.names.size());
  message_.values.reserve(finished.values.size());
  inHeader_ = true;
  charset_ = csOther;
  header_.Reset();
  return finished;
}

void TMessageParser::HeaderLine(std::string_view line) {
  if (headerBytes_.size() < kMostDigestedHeaderBytes) headerBytes_.append(line).append("\r\n");
  // Both tests run on every header line, the empty one that ends the header
  // included: an empty trigger setting thus matches every message.
  if (header_.AddLine(line)) charset_ = DetectCharset(header_.ContentType());
  if (IsTriggerLine(line)) message_.picked = true;
  // A line of blanks only folds the field before it (RFC 5322); only an
  // empty line ends the header.
  if (line.empty()) {
    inHeader_ = false;
    if (message_.picked) walker_.Start(header_.Info());
  }
}

bool TMessageParser::IsTriggerLine(std::string_view line) {
  const std::string& trigger = rules_.triggerLine;
  if (EqualIgnoringAsciiCase(line, trigger)) return true;
  return MayHoldEncodedText(line) &&
         EqualIgnoringAsciiCase(DecodeEncodedWords(line, headerText_), trigger);
}

void TMessageParser::TakeTextLine(std::string_view text) {
  // Most lines hold no comma; escaping would only copy them again.
  if (text.find(',') == std::string_view::npos) {
    AddItem(text);
  } else {
    AddItem(EscapeCommas(text));
  }
}

void TMessageParser::AddItem(std::string_view text) {
  const SplitText item = SplitAtToken(text, rules_.separator);
  if (item.name == "%") return;
  if (message_.names.size() >= static_cast<size_t>(kMaxItemsPerMessage)) {
    message_.readable = false;
    return;
  }
  if (!item.found) message_.bareLines.push_back(message_.names.size());
  message_.names.emplace_back(item.name);
  message_.values.emplace_back(item.value);
}

}  // namespace vexalo
