#include "auth/OAuthProvider.h"

#include <algorithm>
#include <array>

#include "jconv/Cp932Codec.h"
#include "platform/UserTexts.h"
#include "settings/SettingsFields.h"
#include "text/CommFuncs.h"

namespace vexalo {
namespace {

struct Provider {
  std::string_view name;
  std::string_view authorizeUrl;  // "{tenant}" is filled in
  std::string_view deviceUrl;
  std::string_view tokenUrl;
  std::string_view scope;
  std::string_view authorizeExtras;
};

// Google refuses the mail scope on its device endpoint, so it has none.
constexpr std::array<Provider, 3> kProviders = {{
    {"MICROSOFT", "https://login.microsoftonline.com/{tenant}/oauth2/v2.0/authorize",
     "https://login.microsoftonline.com/{tenant}/oauth2/v2.0/devicecode",
     "https://login.microsoftonline.com/{tenant}/oauth2/v2.0/token",
     "https://outlook.office.com/POP.AccessAsUser.All offline_access", ""},
    {"GOOGLE", "https://accounts.google.com/o/oauth2/v2/auth", "",
     "https://oauth2.googleapis.com/token", "https://mail.google.com/",
     "access_type=offline&prompt=consent"},
    {"CUSTOM", "", "", "", "", ""},
}};

constexpr std::string_view kDefaultTenant = "organizations";

[[noreturn]] void Refuse(std::string_view key, std::string_view value, UserText why) {
  throw OAuthSettingsError(Cp932Text(UserText::kBadSettingValue, {key, value, Cp932Text(why)}));
}

// A tenant goes into the addresses' path: a name, a GUID or a domain.
bool IsPlainTenant(std::string_view tenant) {
  return !tenant.empty() && std::all_of(tenant.begin(), tenant.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_';
  });
}

std::string WithTenant(std::string_view address, std::string_view tenant) {
  std::string text(address);
  const size_t at = text.find("{tenant}");
  if (at != std::string::npos) text.replace(at, 8, tenant);
  return text;
}

std::string Override(const std::string& setting, std::string builtIn) {
  const std::string_view value = TrimText(setting);
  return value.empty() ? std::move(builtIn) : std::string(value);
}

}  // namespace

bool OAuthChosen(const SettingsFields& fields) {
  const std::string text = fields.AuthText();
  const std::string_view value = TrimText(text);
  if (value.empty() || value == "0") return false;
  if (value == "1") return true;
  Refuse("AUTH", text, UserText::kAuthChoices);
}

void CheckOAuthUrl(std::string_view key, std::string_view url) {
  std::string lower;
  for (const char c : url) lower.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c);
  constexpr std::string_view kHttps = "https://";
  constexpr std::string_view kHttp = "http://";
  if (lower.starts_with(kHttps) && lower.size() > kHttps.size()) return;
  if (lower.starts_with(kHttp)) {
    const std::string_view rest = std::string_view(lower).substr(kHttp.size());
    const std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
    // No user part: "http://127.0.0.1@example.com/" goes to example.com.
    if (authority.find('@') == std::string_view::npos) {
      const std::string_view host = authority.starts_with('[')
                                        ? authority.substr(0, authority.find(']') + 1)
                                        : authority.substr(0, authority.find(':'));
      if (host == "127.0.0.1" || host == "localhost" || host == "[::1]") return;
    }
  }
  Refuse(key, url, UserText::kUrlNeedsHttps);
}

OAuthEndpoints OAuthEndpointsFrom(const SettingsFields& fields) {
  const std::string providerText = fields.OAuthProviderText();
  const std::string providerName =
      TrimText(providerText).empty() ? "MICROSOFT" : UpperAscii(TrimText(providerText));
  const auto provider = std::find_if(kProviders.begin(), kProviders.end(),
                                     [&](const Provider& p) { return p.name == providerName; });
  if (provider == kProviders.end()) {
    Refuse("OAUTH_PROVIDER", providerText, UserText::kProviderChoices);
  }
  const std::string tenantText = fields.OAuthTenantText();
  const std::string tenant = TrimText(tenantText).empty() ? std::string(kDefaultTenant)
                                                          : std::string(TrimText(tenantText));
  if (!IsPlainTenant(tenant)) Refuse("OAUTH_TENANT", tenantText, UserText::kNoTenantName);

  OAuthEndpoints endpoints;
  endpoints.authorizeUrl =
      Override(fields.OAuthAuthorizeUrlText(), WithTenant(provider->authorizeUrl, tenant));
  endpoints.deviceUrl =
      Override(fields.OAuthDeviceUrlText(), WithTenant(provider->deviceUrl, tenant));
  endpoints.tokenUrl = Override(fields.OAuthTokenUrlText(), WithTenant(provider->tokenUrl, tenant));
  endpoints.scope = Override(fields.OAuthScopeText(), std::string(provider->scope));
  endpoints.clientId = std::string(TrimText(fields.OAuthClientIdText()));
  endpoints.clientSecret = std::string(TrimText(fields.OAuthClientSecretText()));
  endpoints.authorizeExtras = provider->authorizeExtras;

  if (endpoints.clientId.empty()) Refuse("OAUTH_CLIENT_ID", "", UserText::kClientIdEmpty);
  const std::pair<std::string_view, const std::string*> required[] = {
      {"OAUTH_TOKEN_URL", &endpoints.tokenUrl},
      {"OAUTH_AUTHORIZE_URL", &endpoints.authorizeUrl},
      {"OAUTH_SCOPE", &endpoints.scope},
  };
  for (const auto& [key, value] : required) {
    if (value->empty()) Refuse(key, "", UserText::kCustomKeyEmpty);
  }
  CheckOAuthUrl("OAUTH_TOKEN_URL", endpoints.tokenUrl);
  CheckOAuthUrl("OAUTH_AUTHORIZE_URL", endpoints.authorizeUrl);
  if (!endpoints.deviceUrl.empty()) CheckOAuthUrl("OAUTH_DEVICE_URL", endpoints.deviceUrl);
  return endpoints;
}

}  // namespace vexalo
