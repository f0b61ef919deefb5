#include "auth/SignIn.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "auth/LoopbackRedirect.h"
#include "auth/Pkce.h"

namespace vexalo {
namespace {

constexpr int64_t kSlowDownSeconds = 5;
constexpr auto kWaitStep = std::chrono::milliseconds(200);
// A device code without an end of its own still ends.
constexpr int64_t kDefaultDeviceLifetime = 900;

// Waits `seconds`, asking `cancelled` in between.
void Wait(int64_t seconds, const SignInPrompts& prompts) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < end) {
    if (prompts.cancelled && prompts.cancelled()) throw SignInFailed("the sign-in was cancelled");
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
        kWaitStep, end - std::chrono::steady_clock::now()));
  }
}

OAuthGrant GrantFrom(const TokenAnswer& answer, const std::string& account, int64_t now) {
  if (answer.refreshToken.empty()) {
    throw SignInFailed(
        "the provider gave no refresh token (is offline access in the scope and allowed?)");
  }
  OAuthGrant grant;
  grant.refreshToken = answer.refreshToken;
  grant.accessToken = answer.accessToken;
  grant.accessExpiresAt = answer.expiresIn > 0 ? now + answer.expiresIn : 0;
  grant.account = account;
  grant.signedInAt = now;
  return grant;
}

std::string Reason(const TokenAnswer& answer) {
  return answer.errorDescription.empty() ? answer.error
                                         : answer.error + ": " + answer.errorDescription;
}

OAuthGrant SignInOnDevice(const OAuthEndpoints& endpoints, const std::string& account,
                          const SignInPrompts& prompts, int timeoutSeconds, int64_t now) {
  const DeviceCode code = RequestDeviceCode(endpoints, timeoutSeconds);
  if (prompts.showDeviceCode) prompts.showDeviceCode(code);
  int64_t interval = std::max<int64_t>(code.interval, 1);
  const auto lifetime = code.expiresIn > 0 ? code.expiresIn : kDefaultDeviceLifetime;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(lifetime);
  while (std::chrono::steady_clock::now() < end) {
    Wait(interval, prompts);
    const TokenAnswer answer = PollDeviceToken(endpoints, code.deviceCode, timeoutSeconds);
    if (answer.Ok()) {
      const int64_t elapsed = lifetime - std::chrono::duration_cast<std::chrono::seconds>(
                                             end - std::chrono::steady_clock::now())
                                             .count();
      return GrantFrom(answer, account, now + elapsed);
    }
    if (answer.error == "authorization_pending") continue;
    if (answer.error == "slow_down") {
      interval += kSlowDownSeconds;
      continue;
    }
    if (answer.error == "expired_token") {
      throw SignInFailed("the code expired before the sign-in was completed");
    }
    if (answer.error == "access_denied") throw SignInFailed("the sign-in was refused");
    throw SignInFailed("the provider refused: " + Reason(answer));
  }
  throw SignInFailed("the code expired before the sign-in was completed");
}

OAuthGrant SignInInBrowser(const OAuthEndpoints& endpoints, const std::string& account,
                           const SignInPrompts& prompts, int timeoutSeconds, int64_t now) {
  LoopbackRedirect listener;
  const std::string verifier = RandomUrlText(32);
  const std::string state = RandomUrlText(16);
  const std::string address =
      AuthorizationAddress(endpoints, listener.RedirectUri(), state, CodeChallengeS256(verifier));
  if (prompts.openBrowser) prompts.openBrowser(address);
  const LoopbackRedirect::Outcome outcome =
      listener.WaitForCode(state, std::chrono::seconds(kBrowserWaitSeconds), prompts.cancelled);
  if (outcome.code.empty()) throw SignInFailed(outcome.error);
  const TokenAnswer answer =
      ExchangeCode(endpoints, outcome.code, listener.RedirectUri(), verifier, timeoutSeconds);
  if (!answer.Ok()) throw SignInFailed("the provider refused the code: " + Reason(answer));
  return GrantFrom(answer, account, now);
}

}  // namespace

std::string AuthorizationAddress(const OAuthEndpoints& endpoints, const std::string& redirectUri,
                                 const std::string& state, const std::string& codeChallenge) {
  std::string address = endpoints.authorizeUrl;
  address += address.find('?') == std::string::npos ? '?' : '&';
  address += EncodeForm({{"response_type", "code"},
                         {"client_id", endpoints.clientId},
                         {"redirect_uri", redirectUri},
                         {"scope", endpoints.scope},
                         {"state", state},
                         {"code_challenge", codeChallenge},
                         {"code_challenge_method", "S256"}});
  if (!endpoints.authorizeExtras.empty()) address += "&" + endpoints.authorizeExtras;
  return address;
}

OAuthGrant SignIn(const OAuthEndpoints& endpoints, const std::string& account,
                  const SignInPrompts& prompts, int timeoutSeconds, int64_t now) {
  if (!endpoints.deviceUrl.empty()) {
    return SignInOnDevice(endpoints, account, prompts, timeoutSeconds, now);
  }
  return SignInInBrowser(endpoints, account, prompts, timeoutSeconds, now);
}

}  // namespace vexalo
