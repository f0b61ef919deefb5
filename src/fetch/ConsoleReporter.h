#pragma once

#include <cstdio>
#include <string>

#include "processing/RunReporter.h"

namespace vexalo {

// Prints what a run reports, one text per line, as UTF-8: the status texts in
// the order they are set and the message box texts (their CR LF line breaks
// as plain line feeds). Headless, there is no settings dialog to open; a run
// that asks for it is remembered instead.
class ConsoleReporter final : public RunReporter {
 public:
  explicit ConsoleReporter(std::FILE* out) : out_(out) {}

  void ShowStatus(const std::string& text) override;
  void ShowMessage(const std::string& text) override;
  void OpenSettings() override { settingsRequested_ = true; }
  // Nothing to redraw, and the exit code tells how the run ended.
  void TableChanged() override {}
  void RunEnded(RunOutcome /*outcome*/) override {}

  bool SettingsRequested() const { return settingsRequested_; }

 private:
  void PrintLine(const std::string& cp932);

  std::FILE* out_;
  bool settingsRequested_ = false;
};

}  // namespace vexalo
