#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace vexalo {

class SettingsFields;

// A setting of the OAuth 2.0 sign-in that cannot be used; the message names
// the key and says why (CP932).
class OAuthSettingsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Where and as whom the program asks for tokens: the provider's addresses
// with the INI overrides applied, and the registration's client.
struct OAuthEndpoints {
  std::string authorizeUrl;  // the browser's address (code grant)
  std::string deviceUrl;     // empty: the provider has no device grant for this scope
  std::string tokenUrl;
  std::string scope;
  std::string clientId;
  std::string clientSecret;  // empty for a public client
  // Parameters the provider needs on the browser's address besides the
  // standard ones ("access_type=offline&prompt=consent": Google hands out a
  // refresh token only then).
  std::string authorizeExtras;
};

// Whether AUTH asks for OAuth 2.0: "1" yes, "0" or absent no; any other
// value raises OAuthSettingsError naming the key, since a typo must not send
// a password where a token was meant.
bool OAuthChosen(const SettingsFields& fields);

// The endpoints of OAUTH_PROVIDER (MICROSOFT for the tenant of OAUTH_TENANT,
// GOOGLE, CUSTOM), each address and the scope replaced by its OAUTH_ key when
// that is set. Raises OAuthSettingsError for an unknown provider, a missing
// client id, a CUSTOM provider without its token address, browser address and
// scope, a tenant that is no plain name, and any address CheckOAuthUrl refuses.
OAuthEndpoints OAuthEndpointsFrom(const SettingsFields& fields);

// An address a token may be sent to: https, or http to 127.0.0.1 / localhost
// / [::1] only (tests, local proxies). Raises OAuthSettingsError naming `key`.
void CheckOAuthUrl(std::string_view key, std::string_view url);

}  // namespace vexalo
