#include "pop3/TlsCertificate.h"

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <array>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <memory>

namespace vexalo {
namespace {

std::string NameText(const X509_NAME* name) {
  if (name == nullptr) return {};
  const std::unique_ptr<BIO, decltype(&BIO_free)> out(BIO_new(BIO_s_mem()), &BIO_free);
  if (!out || X509_NAME_print_ex(out.get(), name, 0, XN_FLAG_RFC2253) < 0) return {};
  char* data = nullptr;
  const long size = BIO_get_mem_data(out.get(), &data);
  return size > 0 ? std::string(data, static_cast<std::size_t>(size)) : std::string();
}

std::string TimeText(const ASN1_TIME* time) {
  std::tm parts{};
  if (time == nullptr || ASN1_TIME_to_tm(time, &parts) != 1) return {};
  std::array<char, 96> text{};
  std::snprintf(text.data(), text.size(), "%04d/%02d/%02d %02d:%02d:%02d UTC", parts.tm_year + 1900,
                parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
  return text.data();
}

std::string FingerprintText(const X509* certificate) {
  std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
  unsigned int size = 0;
  if (X509_digest(certificate, EVP_sha256(), digest.data(), &size) != 1) return {};
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
  return {NameText(X509_get_subject_name(certificate)), NameText(X509_get_issuer_name(certificate)),
          TimeText(X509_get0_notBefore(certificate)), TimeText(X509_get0_notAfter(certificate)),
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
