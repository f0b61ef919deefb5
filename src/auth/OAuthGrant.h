#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vexalo {

// What a sign-in leaves behind: the refresh token that stands for the grant,
// the last access token with its end, and who signed in when. All of it is
// secret but the account and the time.
struct OAuthGrant {
  std::string refreshToken;
  std::string accessToken;
  int64_t accessExpiresAt = 0;  // seconds since the epoch; 0: no access token kept
  std::string account;          // the USERNAME the grant was made for, CP932
  int64_t signedInAt = 0;       // seconds since the epoch

  // Whether the access token is good for at least `margin` more seconds at `now`.
  bool AccessTokenFresh(int64_t now, int64_t margin) const {
    return !accessToken.empty() && accessExpiresAt - now >= margin;
  }
};

// One JSON object; Parse gives nothing for a text that is no grant (no
// refresh token).
std::string SerializeGrant(const OAuthGrant& grant);
std::optional<OAuthGrant> ParseGrant(const std::string& text);

}  // namespace vexalo
