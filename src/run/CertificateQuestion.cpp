#include "run/CertificateQuestion.h"

#include "platform/UserTexts.h"

namespace vexalo {

std::string CertificateFactsText(const CertificateQuestion& question) {
  const TlsCertificateFacts& facts = question.facts;
  return Cp932Text(UserText::kCertificateUntrusted) + question.reason + ")\r\n" +
         Cp932Text(UserText::kCertificateServer) + question.host + "\r\n" +
         Cp932Text(UserText::kCertificateSubject) + facts.subject + "\r\n" +
         Cp932Text(UserText::kCertificateIssuer) + facts.issuer + "\r\n" +
         Cp932Text(UserText::kCertificateValidity) + facts.notBefore +
         Cp932Text(UserText::kCertificateRangeMark) + facts.notAfter + "\r\n" +
         Cp932Text(UserText::kCertificateFingerprint) + facts.fingerprint;
}

std::string CertificateTrustLine(const CertificateQuestion& question) {
  return "TLS_FINGERPRINT=" + question.facts.fingerprint;
}

}  // namespace vexalo
