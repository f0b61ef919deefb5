#pragma once

#include <string>

#include "processing/CertificateQuestion.h"

namespace vexalo {

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

  // Opens the settings exactly as the settings command does.
  virtual void OpenSettings() = 0;

  // The server's certificate is not trusted. Returns true when the user
  // trusts this certificate for this server from now on: the run then keeps
  // its fingerprint in the settings and starts again. False ends the run
  // with the error box.
  virtual bool TrustCertificate(const CertificateQuestion& question) = 0;
};

}  // namespace vexalo
