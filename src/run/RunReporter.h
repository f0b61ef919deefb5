#pragma once

#include <cstdint>
#include <string>

#include "platform/FailureKind.h"
#include "run/CertificateQuestion.h"

namespace vexalo {

// What a run that stopped on an error knows of the failure besides the text
// of its error box, so that a caller can explain the likely cause.
struct RunFailure {
  int32_t step = 0;   // the step whose request was out: 0 connect, 1 USER, 2 PASS, ... 7 QUIT
  uint16_t code = 0;  // the client's completion code; 0 when an operation raised instead
  FailureKind kind = FailureKind::kOther;  // what went wrong, whatever the text says
  std::string detail;                      // the text between "(内容：" and ")", CP932
};

// How a run ended.
enum class RunOutcome : uint8_t {
  completed,  // QUIT done, summary shown
  failed,     // stopped with the error box (or at an invalid step)
  cancelled,  // stopped by the user
};

// Where a processing run shows what it does. The main window implements it
// with its status bar, message boxes and settings dialog; the headless runner
// prints; tests record. Every text is CP932 bytes, and every call is made on the
// event loop's thread from inside one of the run's handlers.
class RunReporter {
 public:
  virtual ~RunReporter() = default;

  // Replaces the single text of the status bar.
  virtual void ShowStatus(const std::string& text) = 0;

  // A plain message box (caption "Vexalo", one OK button). Lines inside the
  // text are separated by CR LF. The run goes on only after it returns.
  virtual void ShowMessage(const std::string& text) = 0;

  // The run's error box: `text` is the whole box as ShowMessage would show
  // it. The session has already been aborted when this is called, and the
  // run counts as busy until it returns.
  virtual void ShowRunError(const std::string& text, const RunFailure& failure) {
    static_cast<void>(failure);
    ShowMessage(text);
  }

  // Opens the settings exactly as the settings command does.
  virtual void OpenSettings() = 0;

  // A row was taken into the table (and AllData.csv): its cells and counts
  // changed.
  virtual void TableChanged() = 0;

  // The server refused to hand out message `number` with `serverText`; the
  // run goes on without it. The summary names it too.
  virtual void MessageRefused(int32_t /*number*/, const std::string& /*serverText*/) {}

  // The run is over; the next fetch may start.
  virtual void RunEnded(RunOutcome outcome) = 0;

  // The server's certificate is not trusted. Returns true when the user
  // trusts this certificate for this server from now on: the run then keeps
  // its fingerprint in the settings and starts again. False ends the run
  // with the error box.
  virtual bool TrustCertificate(const CertificateQuestion& question) = 0;
};

}  // namespace vexalo
