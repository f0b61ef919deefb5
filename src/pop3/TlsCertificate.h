#pragma once

#include <openssl/types.h>

#include <string>
#include <string_view>

namespace vexalo {

// What a user needs to decide whether to trust a server's certificate. All
// texts are ASCII: bytes outside it in a name are written as RFC 2253
// escapes, so they pass through the CP932 text of the program unchanged.
struct TlsCertificateFacts {
  std::string subject;    // RFC 2253, e.g. "CN=mail.example.jp,O=Example"
  std::string issuer;     // the same form
  std::string notBefore;  // "yyyy/MM/dd HH:mm:ss UTC"
  std::string notAfter;
  std::string fingerprint;  // SHA-256 of the DER form, "AB:CD:..." (95 characters)
};

// The facts of `certificate`; fields OpenSSL cannot give stay empty.
TlsCertificateFacts DescribeCertificate(X509* certificate);

// A SHA-256 fingerprint as users type it (hex digits in either case, pairs
// optionally separated by colons or blanks) reduced to 64 upper-case hex
// digits. Empty when the text is not exactly that.
std::string NormalizeFingerprint(std::string_view text);

}  // namespace vexalo
