#pragma once

#include <string>

#include "pop3/TlsCertificate.h"

namespace vexalo {

// A server certificate the run could not trust, put to whoever can decide.
struct CertificateQuestion {
  std::string host;    // the server as set, CP932
  std::string reason;  // why it is not trusted (OpenSSL's words), ASCII
  TlsCertificateFacts facts;
};

// The facts as the user reads them, CP932, lines separated by CR LF: the
// reason, the server, subject, issuer, validity and SHA-256 fingerprint.
std::string CertificateFactsText(const CertificateQuestion& question);

// The line of section "POP3" of the INI file that trusts this certificate
// from now on: "TLS_FINGERPRINT=AB:CD:...".
std::string CertificateTrustLine(const CertificateQuestion& question);

}  // namespace vexalo
