#pragma once

#include <cstdio>
#include <string>

#include "processing/RunReporter.h"

namespace vexalo {

// Prints what a run reports, one text per line, as UTF-8: the status texts in
// the order they are set and the message box texts (their CR LF line breaks
// as plain line feeds). Headless, there is no settings dialog to open: the
// message printed before the request already says what is missing.
class ConsoleReporter final : public RunReporter {
 public:
  explicit ConsoleReporter(std::FILE* out) : out_(out) {}

  void ShowStatus(const std::string& text) override;
  void ShowMessage(const std::string& text) override;
  void OpenSettings() override {}

 private:
  void PrintLine(const std::string& cp932);

  std::FILE* out_;
};

}  // namespace vexalo
