#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "pop3/TlsCertificate.h"

namespace vexalo {
namespace {

const std::string kDigits = "0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF";

std::string WithColons(const std::string& digits) {
  std::string text;
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    if (i > 0) text += ':';
    text += digits.substr(i, 2);
  }
  return text;
}

TEST(TlsCertificate, FingerprintsAreReadAsUsersTypeThemAndNothingElse) {
  std::string lower = kDigits;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const struct {
    std::string typed;
    std::string expected;
  } cases[] = {
      {kDigits, kDigits},
      {WithColons(kDigits), kDigits},
      {WithColons(lower), kDigits},
      {" " + kDigits + "\t", kDigits},
      {"", ""},
      {kDigits.substr(1), ""},              // one digit short
      {kDigits + "0", ""},                  // one digit more
      {kDigits.substr(1) + "G", ""},        // not hex
      {kDigits.substr(2) + "-0", ""},       // other separators are not guessed at
      {WithColons(kDigits).substr(3), ""},  // a SHA-1 length or any other is no SHA-256
  };
  for (const auto& c : cases) EXPECT_EQ(NormalizeFingerprint(c.typed), c.expected) << c.typed;
}

TEST(TlsCertificate, NoCertificateGivesEmptyFacts) {
  const TlsCertificateFacts facts = DescribeCertificate(nullptr);
  EXPECT_EQ(facts.subject, "");
  EXPECT_EQ(facts.fingerprint, "");
}

}  // namespace
}  // namespace vexalo
