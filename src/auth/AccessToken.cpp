#include "auth/AccessToken.h"

#include "auth/OAuthGrant.h"
#include "auth/TokenEndpoint.h"
#include "jconv/Cp932Codec.h"
#include "platform/UserTexts.h"

namespace vexalo {
namespace {

// The endpoint's words are the server's: kept short and printable.
std::string Printable(std::string_view text) {
  std::string shown;
  for (const char c : text.substr(0, 300)) {
    shown += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? ' ' : c;
  }
  return shown;
}

}  // namespace

std::string FreshAccessToken(const OAuthEndpoints& endpoints, SecretStore& store,
                             int timeoutSeconds, int64_t now) {
  const std::optional<std::string> stored = store.Load();
  std::optional<OAuthGrant> grant = stored ? ParseGrant(*stored) : std::nullopt;
  if (!grant) {
    throw OAuthSignInNeeded(Cp932Text(UserText::kNotSignedIn));
  }
  if (grant->AccessTokenFresh(now, kAccessTokenMargin)) return grant->accessToken;

  const TokenAnswer answer = RefreshAccessToken(endpoints, grant->refreshToken, timeoutSeconds);
  if (answer.error == "invalid_grant") {
    throw OAuthSignInNeeded(
        Cp932Text(UserText::kSignInWithdrawn, {Printable(answer.errorDescription)}));
  }
  if (!answer.Ok()) {
    throw std::runtime_error(
        Cp932Text(UserText::kTokenRefreshFailed,
                  {Printable(answer.error), Printable(answer.errorDescription)}));
  }
  if (!answer.refreshToken.empty()) grant->refreshToken = answer.refreshToken;
  grant->accessToken = answer.accessToken;
  grant->accessExpiresAt = answer.expiresIn > 0 ? now + answer.expiresIn : 0;
  store.Save(SerializeGrant(*grant));
  return grant->accessToken;
}

}  // namespace vexalo
