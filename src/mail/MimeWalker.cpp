#include "mail/MimeWalker.h"

#include "text/CommFuncs.h"

namespace vexalo {

namespace {

// UTF-16 and UTF-32 text in any of their names: their bytes hold CR and LF
// inside characters, so the lines POP3 hands over are no lines of the text.
bool IsWideCharset(std::string_view charset) {
  for (const std::string_view family : {"UTF-16", "UTF16", "UTF-32", "UTF32", "UCS-2", "UCS-4"}) {
    if (charset.size() >= family.size() &&
        EqualIgnoringAsciiCase(charset.substr(0, family.size()), family)) {
      return true;
    }
  }
  return false;
}

// A delimiter line may carry blanks after it ("transport padding").
std::string_view WithoutTrailingBlanks(std::string_view line) {
  size_t end = line.size();
  while (end > 0 && (line[end - 1] == ' ' || line[end - 1] == '\t')) --end;
  return line.substr(0, end);
}

bool IsTextOfType(const MimePartInfo& part, std::string_view mediaType) {
  return !part.attachment && part.mediaType == mediaType;
}

}  // namespace

void TMimeWalker::Start(const MimePartInfo& message) {
  delimiters_.clear();
  plainFound_ = false;
  htmlFound_ = false;
  held_.clear();
  heldBytes_ = 0;
  singlePart_ = !message.IsMultipart();
  wideText_ = singlePart_ && IsWideCharset(message.charset);
  if (message.IsMultipart()) {
    step_ = stepPassOver;  // the preamble, or the whole body without a boundary
    if (!message.boundary.empty()) delimiters_.push_back("--" + message.boundary);
  } else {
    text_.Start(message, message.mediaType == "TEXT/HTML");
    step_ = stepText;
  }
}

void TMimeWalker::Line(std::string_view line, const TextLineSink& sink) {
  if (!delimiters_.empty() && line.starts_with("--") && TakeDelimiterLine(line, sink)) return;
  switch (step_) {
    case stepPartHeader:
      if (TrimText(line).empty()) {
        StartPart(partHeader_.Info());
      } else {
        partHeader_.AddLine(line);
      }
      break;
    case stepText:
    case stepHeldText:
      // The line end before a delimiter belongs to the delimiter, so an
      // empty line right before it is no line of the part.
      if (line.empty() && !delimiters_.empty()) {
        ++emptyLinesHeld_;
      } else {
        PartLines(emptyLinesHeld_, sink);
        emptyLinesHeld_ = 0;
        PartLine(line, sink);
      }
      break;
    default:
      break;
  }
}

void TMimeWalker::Finish(const TextLineSink& sink) {
  PartLines(emptyLinesHeld_, sink);  // no delimiter came to take one
  EndText(sink);
  HandOnHeldLines(sink);
  delimiters_.clear();
  step_ = stepPassOver;
}

// A delimiter of an enclosing multipart also ends every multipart inside it
// that was left open.
bool TMimeWalker::TakeDelimiterLine(std::string_view line, const TextLineSink& sink) {
  const std::string_view text = WithoutTrailingBlanks(line);
  for (size_t level = delimiters_.size(); level-- > 0;) {
    const std::string& delimiter = delimiters_[level];
    if (!text.starts_with(delimiter)) continue;
    const std::string_view rest = text.substr(delimiter.size());
    if (!rest.empty() && rest != "--") continue;
    if (emptyLinesHeld_ > 0) PartLines(emptyLinesHeld_ - 1, sink);
    EndText(sink);
    delimiters_.resize(level + 1);
    if (rest.empty()) {
      step_ = stepPartHeader;
      partHeader_.Reset();
    } else {
      delimiters_.pop_back();  // the epilogue after it is passed over
      step_ = stepPassOver;
      if (delimiters_.empty()) HandOnHeldLines(sink);
    }
    return true;
  }
  return false;
}

void TMimeWalker::StartPart(const MimePartInfo& part) {
  step_ = stepPassOver;
  if (part.IsMultipart()) {
    if (!part.boundary.empty() && delimiters_.size() < kMaxDepth) {
      delimiters_.push_back("--" + part.boundary);
    }
  } else if (plainFound_) {
    // the text is found; the rest is passed over
  } else if (IsTextOfType(part, "TEXT/PLAIN") || IsTextOfType(part, "")) {
    plainFound_ = true;
    wideText_ = IsWideCharset(part.charset);
    held_.clear();
    heldBytes_ = 0;
    text_.Start(part, false);
    step_ = stepText;
  } else if (!htmlFound_ && IsTextOfType(part, "TEXT/HTML")) {
    htmlFound_ = true;
    wideText_ = IsWideCharset(part.charset);
    text_.Start(part, true);
    step_ = stepHeldText;
  }
}

void TMimeWalker::PartLine(std::string_view line, const TextLineSink& sink) {
  if (step_ == stepText) {
    text_.Line(line, sink);
  } else {
    text_.Line(line, [this](std::string_view text) { Hold(text); });
  }
}

void TMimeWalker::PartLines(size_t emptyLines, const TextLineSink& sink) {
  for (size_t i = 0; i < emptyLines; ++i) PartLine({}, sink);
}

void TMimeWalker::EndText(const TextLineSink& sink) {
  emptyLinesHeld_ = 0;
  if (step_ == stepText) {
    text_.Finish(sink);
  } else if (step_ == stepHeldText) {
    text_.Finish([this](std::string_view text) { Hold(text); });
  }
  step_ = stepPassOver;
}

void TMimeWalker::HandOnHeldLines(const TextLineSink& sink) {
  for (const std::string& line : held_) sink(line);
  held_.clear();
  heldBytes_ = 0;
}

void TMimeWalker::Hold(std::string_view line) {
  if (held_.size() >= kMaxHeldLines || heldBytes_ + line.size() > kMaxHeldBytes) return;
  held_.emplace_back(line);
  heldBytes_ += line.size();
}

}  // namespace vexalo
