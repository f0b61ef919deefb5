#include "auth/AccessToken.h"

#include "auth/OAuthGrant.h"
#include "auth/TokenEndpoint.h"
#include "jconv/Cp932Codec.h"

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
    throw OAuthSignInNeeded(
        Utf8ToCp932("OAuth 2.0 でサインインしていません。設定画面の「サインイン」か "
                    "vexalo-fetch --sign-in でサインインしてください"));
  }
  if (grant->AccessTokenFresh(now, kAccessTokenMargin)) return grant->accessToken;

  const TokenAnswer answer = RefreshAccessToken(endpoints, grant->refreshToken, timeoutSeconds);
  if (answer.error == "invalid_grant") {
    throw OAuthSignInNeeded(
        Utf8ToCp932("OAuth 2.0 のサインインが取り消されたか期限切れです。設定画面の"
                    "「サインイン」か vexalo-fetch --sign-in でサインインし直してください"
                    " (invalid_grant: ") +
        Printable(answer.errorDescription) + ")");
  }
  if (!answer.Ok()) {
    throw std::runtime_error(Utf8ToCp932("アクセストークンを更新できません (") +
                             Printable(answer.error) + ": " + Printable(answer.errorDescription) +
                             ")");
  }
  if (!answer.refreshToken.empty()) grant->refreshToken = answer.refreshToken;
  grant->accessToken = answer.accessToken;
  grant->accessExpiresAt = answer.expiresIn > 0 ? now + answer.expiresIn : 0;
  store.Save(SerializeGrant(*grant));
  return grant->accessToken;
}

}  // namespace vexalo
