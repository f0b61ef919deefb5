#include "auth/Pkce.h"

#include <stdexcept>
#include <vector>

#include "cipher/Base64.h"
#include "platform/OpenSsl.h"

namespace vexalo {

std::string Base64Url(std::string_view bytes) {
  std::string text = Base64Encode(bytes);
  while (!text.empty() && text.back() == '=') text.pop_back();
  for (char& c : text) {
    if (c == '+') c = '-';
    if (c == '/') c = '_';
  }
  return text;
}

std::string RandomUrlText(size_t bytes) {
  std::vector<unsigned char> random(bytes);
  if (OpenSsl().randBytes(random.data(), static_cast<int>(random.size())) != 1) {
    throw std::runtime_error("no random bytes from the system");
  }
  return Base64Url(std::string_view(reinterpret_cast<const char*>(random.data()), random.size()));
}

std::string CodeChallengeS256(std::string_view verifier) {
  unsigned char digest[SHA256_DIGEST_LENGTH];
  OpenSsl().sha256(reinterpret_cast<const unsigned char*>(verifier.data()), verifier.size(),
                   digest);
  return Base64Url(std::string_view(reinterpret_cast<const char*>(digest), sizeof digest));
}

}  // namespace vexalo
