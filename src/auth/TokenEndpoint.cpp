#include "auth/TokenEndpoint.h"

#include <nlohmann/json.hpp>

namespace vexalo {
namespace {

using Json = nlohmann::json;

std::string TextOf(const Json& object, const char* name) {
  const auto found = object.find(name);
  return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

// Some servers send numbers as strings ("expires_in": "3599").
int64_t NumberOf(const Json& object, const char* name, int64_t absent) {
  const auto found = object.find(name);
  if (found == object.end()) return absent;
  if (found->is_number_integer()) return found->get<int64_t>();
  if (found->is_string()) {
    try {
      return std::stoll(found->get<std::string>());
    } catch (const std::exception&) {
      return absent;
    }
  }
  return absent;
}

Json ParseObject(const std::string& body) {
  Json json = Json::parse(body, nullptr, false);
  return json.is_object() ? json : Json();
}

// Google's device answers name it verification_url.
std::string VerificationUri(const Json& object) {
  std::string uri = TextOf(object, "verification_uri");
  return uri.empty() ? TextOf(object, "verification_url") : uri;
}

FormFields WithClient(const OAuthEndpoints& endpoints, FormFields fields) {
  fields.emplace_back("client_id", endpoints.clientId);
  if (!endpoints.clientSecret.empty()) fields.emplace_back("client_secret", endpoints.clientSecret);
  return fields;
}

TokenAnswer Post(const OAuthEndpoints& endpoints, FormFields fields, int timeoutSeconds) {
  return ParseTokenAnswer(
      PostForm(endpoints.tokenUrl, WithClient(endpoints, std::move(fields)), timeoutSeconds));
}

}  // namespace

TokenAnswer ParseTokenAnswer(const HttpAnswer& answer) {
  const Json json = ParseObject(answer.body);
  TokenAnswer parsed;
  if (json.is_null()) {
    parsed.error = "invalid_response";
    parsed.errorDescription = "HTTP " + std::to_string(answer.status) + " without a JSON answer";
    return parsed;
  }
  parsed.error = TextOf(json, "error");
  parsed.errorDescription = TextOf(json, "error_description");
  if (!parsed.error.empty()) return parsed;
  parsed.accessToken = TextOf(json, "access_token");
  parsed.refreshToken = TextOf(json, "refresh_token");
  parsed.expiresIn = NumberOf(json, "expires_in", 0);
  if (answer.status != 200 || parsed.accessToken.empty()) {
    parsed.error = "invalid_response";
    parsed.errorDescription = "HTTP " + std::to_string(answer.status) + " without an access token";
  }
  return parsed;
}

TokenAnswer RefreshAccessToken(const OAuthEndpoints& endpoints, const std::string& refreshToken,
                               int timeoutSeconds) {
  return Post(endpoints,
              {{"grant_type", "refresh_token"},
               {"refresh_token", refreshToken},
               {"scope", endpoints.scope}},
              timeoutSeconds);
}

TokenAnswer ExchangeCode(const OAuthEndpoints& endpoints, const std::string& code,
                         const std::string& redirectUri, const std::string& codeVerifier,
                         int timeoutSeconds) {
  return Post(endpoints,
              {{"grant_type", "authorization_code"},
               {"code", code},
               {"redirect_uri", redirectUri},
               {"code_verifier", codeVerifier}},
              timeoutSeconds);
}

TokenAnswer PollDeviceToken(const OAuthEndpoints& endpoints, const std::string& deviceCode,
                            int timeoutSeconds) {
  return Post(
      endpoints,
      {{"grant_type", "urn:ietf:params:oauth:grant-type:device_code"}, {"device_code", deviceCode}},
      timeoutSeconds);
}

DeviceCode RequestDeviceCode(const OAuthEndpoints& endpoints, int timeoutSeconds) {
  const HttpAnswer answer = PostForm(
      endpoints.deviceUrl, WithClient(endpoints, {{"scope", endpoints.scope}}), timeoutSeconds);
  const Json json = ParseObject(answer.body);
  DeviceCode code;
  if (!json.is_null()) {
    code.deviceCode = TextOf(json, "device_code");
    code.userCode = TextOf(json, "user_code");
    code.verificationUri = VerificationUri(json);
    code.message = TextOf(json, "message");
    code.expiresIn = NumberOf(json, "expires_in", 0);
    code.interval = NumberOf(json, "interval", 5);
  }
  if (answer.status != 200 || code.deviceCode.empty() || code.userCode.empty() ||
      code.verificationUri.empty()) {
    const std::string error = json.is_null() ? std::string() : TextOf(json, "error");
    const std::string description =
        json.is_null() ? std::string() : TextOf(json, "error_description");
    throw HttpError(endpoints.deviceUrl + ": HTTP " + std::to_string(answer.status) + " " +
                    (error.empty() ? "without a device code" : error + " " + description));
  }
  return code;
}

}  // namespace vexalo
