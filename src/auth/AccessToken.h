#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "auth/OAuthProvider.h"
#include "auth/SecretStore.h"

namespace vexalo {

// The grant is missing, withdrawn or expired: only signing in again helps.
// The message (CP932) says so and names `vexalo-fetch --sign-in`.
class OAuthSignInNeeded : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An access token has to be good for this long when the login starts.
inline constexpr int64_t kAccessTokenMargin = 60;

// An access token for a login now (`now`: seconds since the epoch): the one
// kept in `store` while it has kAccessTokenMargin seconds left, otherwise a
// new one from the token endpoint, refreshed with the stored refresh token
// (RFC 6749 §6). The new tokens, a rotated refresh token above all, are in
// `store` before it returns: a provider whose refresh tokens die on use
// would otherwise make the user sign in again. Blocks.
//
// Raises OAuthSignInNeeded when nothing is stored or the endpoint answers
// invalid_grant; HttpError when it does not answer within `timeoutSeconds`;
// std::runtime_error with the endpoint's error for any other refusal, and
// the store's error when the new grant cannot be kept (the login does not
// go ahead with a token whose successor is lost).
std::string FreshAccessToken(const OAuthEndpoints& endpoints, SecretStore& store,
                             int timeoutSeconds, int64_t now);

}  // namespace vexalo
