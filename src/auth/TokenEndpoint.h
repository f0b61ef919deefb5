#pragma once

#include <cstdint>
#include <string>

#include "auth/HttpForm.h"
#include "auth/OAuthProvider.h"

namespace vexalo {

// What the token endpoint (RFC 6749 §5) answered.
struct TokenAnswer {
  // Success: the tokens. A refresh answer may leave refreshToken empty: the
  // old one stays good.
  std::string accessToken;
  std::string refreshToken;
  int64_t expiresIn = 0;  // seconds; 0 when the server did not say
  // Failure: the error code ("invalid_grant", "authorization_pending", ...)
  // and the server's description, both untrusted text.
  std::string error;
  std::string errorDescription;

  bool Ok() const { return error.empty(); }
};

// What the device endpoint (RFC 8628 §3.2) answered.
struct DeviceCode {
  std::string deviceCode;
  std::string userCode;
  std::string verificationUri;
  std::string message;  // the provider's own words, may be empty
  int64_t expiresIn = 0;
  int64_t interval = 5;
};

// Reads a token endpoint's JSON answer. A body that is no JSON object, or a
// success without access_token, gives the error "invalid_response".
TokenAnswer ParseTokenAnswer(const HttpAnswer& answer);

// The calls, each one POST; they block and raise HttpError when no answer
// comes within `timeoutSeconds` of silence.
TokenAnswer RefreshAccessToken(const OAuthEndpoints& endpoints, const std::string& refreshToken,
                               int timeoutSeconds);
TokenAnswer ExchangeCode(const OAuthEndpoints& endpoints, const std::string& code,
                         const std::string& redirectUri, const std::string& codeVerifier,
                         int timeoutSeconds);
TokenAnswer PollDeviceToken(const OAuthEndpoints& endpoints, const std::string& deviceCode,
                            int timeoutSeconds);
// Raises HttpError with the server's error when the answer is no device code.
DeviceCode RequestDeviceCode(const OAuthEndpoints& endpoints, int timeoutSeconds);

}  // namespace vexalo
