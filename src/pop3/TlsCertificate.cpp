#include "pop3/TlsCertificate.h"

#include <array>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <memory>

#include "platform/OpenSsl.h"

namespace vexalo {
namespace {

std::string NameText(const X509_NAME* name) {
  if (name == nullptr) return {};
  const OpenSslLibrary& ssl = OpenSsl();
  const std::unique_ptr<BIO, decltype(ssl.bioFree)> out(ssl.bioNew(ssl.bioSMem()), ssl.bioFree);
  if (!out || ssl.x509NamePrintEx(out.get(), name, 0, XN_FLAG_RFC2253) < 0) return {};
  char* data = nullptr;
  const long size = ssl.bioCtrl(out.get(), BIO_CTRL_INFO, 0, &data);  // BIO_get_mem_data
  return size > 0 ? std::string(data, static_cast<std::size_t>(size)) : std::string();
}

std::string TimeText(const ASN1_TIME* time) {
  std::tm parts{};
  if (time == nullptr || OpenSsl().asn1TimeToTm(time, &parts) != 1) return {};
  std::array<char, 96> text{};
  std::snprintf(text.data(), text.size(), "%04d/%02d/%02d %02d:%02d:%02d UTC", parts.tm_year + 1900,
                parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
  return text.data();
}

std::string FingerprintText(const X509* certificate) {
  std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
  unsigned int size = 0;
  if (OpenSsl().x509Digest(certificate, OpenSsl().evpSha256(), digest.data(), &size) != 1)
    return {};
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  for (unsigned int i = 0; i < size; ++i) {
    if (i > 0) text += ':';
    text += kHex[digest[i] >> 4];
    text += kHex[digest[i] & 0x0F];
  }
  return text;
}

}  // namespace

TlsCertificateFacts DescribeCertificate(X509* certificate) {
  if (certificate == nullptr) return {};
  const OpenSslLibrary& ssl = OpenSsl();
  return {NameText(ssl.x509GetSubjectName(certificate)),
          NameText(ssl.x509GetIssuerName(certificate)),
          TimeText(ssl.x509Get0NotBefore(certificate)), TimeText(ssl.x509Get0NotAfter(certificate)),
          FingerprintText(certificate)};
}

std::string NormalizeFingerprint(std::string_view text) {
  constexpr std::size_t kDigits = 64;
  std::string digits;
  for (const char c : text) {
    if (c == ':' || c == ' ' || c == '\t') continue;
    if (std::isxdigit(static_cast<unsigned char>(c)) == 0 || digits.size() == kDigits) return {};
    digits += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return digits.size() == kDigits ? digits : std::string();
}

}  // namespace vexalo
