#include "auth/OAuthGrant.h"

#include <nlohmann/json.hpp>

#include "jconv/Cp932Codec.h"

namespace vexalo {

std::string SerializeGrant(const OAuthGrant& grant) {
  const nlohmann::json json = {
      {"refresh_token", grant.refreshToken},        {"access_token", grant.accessToken},
      {"access_expires_at", grant.accessExpiresAt}, {"account", Cp932ToUtf8(grant.account)},
      {"signed_in_at", grant.signedInAt},
  };
  return json.dump();
}

std::optional<OAuthGrant> ParseGrant(const std::string& text) {
  const nlohmann::json json = nlohmann::json::parse(text, nullptr, false);
  if (!json.is_object()) return std::nullopt;
  OAuthGrant grant;
  try {
    grant.refreshToken = json.value("refresh_token", std::string());
    grant.accessToken = json.value("access_token", std::string());
    grant.accessExpiresAt = json.value("access_expires_at", int64_t{0});
    grant.account = Utf8ToCp932(json.value("account", std::string()));
    grant.signedInAt = json.value("signed_in_at", int64_t{0});
  } catch (const nlohmann::json::exception&) {
    return std::nullopt;  // a member of the wrong type: written by no version of ours
  }
  if (grant.refreshToken.empty()) return std::nullopt;
  return grant;
}

}  // namespace vexalo
