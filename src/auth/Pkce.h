#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vexalo {

// `bytes` bytes from the system's random source as base64url without
// padding (RFC 4648 §5): a PKCE verifier (32 bytes give the 43 characters
// RFC 7636 asks at least), a state, or a key.
std::string RandomUrlText(size_t bytes);

// The base64url (no padding) of `bytes`.
std::string Base64Url(std::string_view bytes);

// The S256 code challenge of `verifier` (RFC 7636 §4.2).
std::string CodeChallengeS256(std::string_view verifier);

}  // namespace vexalo
