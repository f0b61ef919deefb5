#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

#include "fetch/FetchOptions.h"
#include "run/RunReporter.h"

namespace vexalo {

// Prints what a run reports, one text per line, as UTF-8 with its control
// characters escaped (EscapeControls), so that a log kept by cron or the
// journal tells what each run did: the message box texts
// (their CR LF line breaks as plain line feeds) on `errors`, and as `output`
// asks, the status texts in the order they are set and the run's summary on
// `out`. Headless, there is no settings dialog to open: the message printed
// before the request already says what is missing. Nobody can be asked to
// trust a certificate either: its facts are printed on `errors` with the INI
// line that would trust it, and the run ends.
class ConsoleReporter final : public RunReporter {
 public:
  ConsoleReporter(std::FILE* out, std::FILE* errors, FetchOptions::Output output)
      : out_(out), errors_(errors), output_(output) {}

  void ShowStatus(const std::string& text) override;
  void ShowMessage(const std::string& text) override;
  // The error box's text, without the Windows library's name, and the line
  // naming the likely cause when one is known (FailureCauseLine).
  void ShowRunError(const std::string& text, const RunFailure& failure) override;
  void OpenSettings() override {}
  // Nothing to redraw, and the exit code tells how the run ended.
  void TableChanged() override {}
  void RunEnded(RunOutcome /*outcome*/) override {}
  // To `errors`: a mail left behind is something to look into.
  void MessageRefused(int32_t number, const std::string& serverText) override;
  bool TrustCertificate(const CertificateQuestion& question) override;

  // The line of a completed run: its end time `when`, the mails on the
  // server, the rows taken and the mails deleted. Nothing under --quiet.
  void ShowRunSummary(std::time_t when, int32_t mails, int32_t taken, int32_t deleted);
  // A run that did not complete: when it stopped on a status text rather
  // than a message, that text goes to `errors`, so no failure is silent.
  void ShowRunFailed();

 private:
  static void PrintLine(std::FILE* to, const std::string& cp932);

  std::FILE* out_;
  std::FILE* errors_;
  FetchOptions::Output output_;
  std::string lastStatus_;
  bool messageShown_ = false;
};

}  // namespace vexalo
