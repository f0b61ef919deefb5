#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

#include "auth/OAuthGrant.h"
#include "auth/OAuthProvider.h"
#include "auth/TokenEndpoint.h"

namespace vexalo {

// A sign-in that did not end in a grant; the message (English, may quote the
// provider's words) says why.
class SignInFailed : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Where a sign-in meets its user. Every call comes from the thread that
// runs SignIn.
struct SignInPrompts {
  // The device grant: the address, the user code and the provider's message
  // to show.
  std::function<void(const DeviceCode& code)> showDeviceCode;
  // The loopback redirect: the authorization address to open in a browser.
  std::function<void(const std::string& address)> openBrowser;
  // Asked between waits; true ends the sign-in (SignInFailed).
  std::function<bool()> cancelled;
};

// How long the browser has to come back in the loopback redirect.
inline constexpr int kBrowserWaitSeconds = 300;

// Signs in: the device authorization grant (RFC 8628) when `endpoints` has a
// device address, polling at the given interval and honouring
// authorization_pending, slow_down (5 s more from then on), expired_token
// and access_denied; otherwise the authorization code grant through the
// loopback redirect (RFC 8252) with PKCE S256 and a checked state. Returns
// the grant for `account` made at `now` (seconds since the epoch), not yet
// stored. Each HTTP call gets `timeoutSeconds` of silence. Blocks; raises
// SignInFailed, or HttpError when an endpoint does not answer.
OAuthGrant SignIn(const OAuthEndpoints& endpoints, const std::string& account,
                  const SignInPrompts& prompts, int timeoutSeconds, int64_t now);

// The address the browser opens for the code grant.
std::string AuthorizationAddress(const OAuthEndpoints& endpoints, const std::string& redirectUri,
                                 const std::string& state, const std::string& codeChallenge);

}  // namespace vexalo
