#include "run/CertificateQuestion.h"

#include "jconv/Cp932Codec.h"

namespace vexalo {

std::string CertificateFactsText(const CertificateQuestion& question) {
  const TlsCertificateFacts& facts = question.facts;
  return Utf8ToCp932("サーバーの証明書を信頼できません。(内容：") + question.reason + ")\r\n" +
         Utf8ToCp932("サーバー：") + question.host + "\r\n" + Utf8ToCp932("発行先：") +
         facts.subject + "\r\n" + Utf8ToCp932("発行者：") + facts.issuer + "\r\n" +
         Utf8ToCp932("有効期間：") + facts.notBefore + Utf8ToCp932(" ～ ") + facts.notAfter +
         "\r\n" + Utf8ToCp932("SHA-256 指紋：") + facts.fingerprint;
}

std::string CertificateTrustLine(const CertificateQuestion& question) {
  return "TLS_FINGERPRINT=" + question.facts.fingerprint;
}

}  // namespace vexalo
