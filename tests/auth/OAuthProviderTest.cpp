#include <gtest/gtest.h>

#include <string>

#include "auth/OAuthProvider.h"
#include "jconv/Cp932Codec.h"
#include "settings/SettingsFields.h"

namespace vexalo {
namespace {

// A token may go over https anywhere, over http only to this machine; a
// user part before the host does not make an address local.
TEST(OAuthProviderTest, HttpOnlyForLoopback) {
  const struct {
    const char* url;
    bool accepted;
  } cases[] = {
      {"https://login.example.com/token", true},
      {"HTTPS://login.example.com/token", true},
      {"http://127.0.0.1:8080/token", true},
      {"http://localhost/token", true},
      {"http://[::1]:99/token", true},
      {"http://login.example.com/token", false},
      {"http://127.0.0.1.example.com/token", false},
      {"http://localhost@example.com/token", false},
      {"http://10.0.0.1/token", false},
      {"ftp://127.0.0.1/token", false},
      {"https://", false},
      {"", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    bool accepted = true;
    try {
      CheckOAuthUrl("OAUTH_TOKEN_URL", c.url);
    } catch (const OAuthSettingsError& error) {
      accepted = false;
      EXPECT_NE(std::string(error.what()).find("OAUTH_TOKEN_URL"), std::string::npos);
    }
    EXPECT_EQ(accepted, c.accepted);
  }
}

PlainSettingsFields WithClient(const std::string& provider) {
  PlainSettingsFields fields;
  fields.oauthProvider = provider;
  fields.oauthClientId = "client-1";
  return fields;
}

TEST(OAuthProviderTest, ProvidersFillInTheirAddressesAndOverridesWin) {
  OAuthEndpoints microsoft = OAuthEndpointsFrom(WithClient("MICROSOFT"));
  EXPECT_EQ(microsoft.tokenUrl,
            "https://login.microsoftonline.com/organizations/oauth2/v2.0/token");
  EXPECT_EQ(microsoft.deviceUrl,
            "https://login.microsoftonline.com/organizations/oauth2/v2.0/devicecode");
  EXPECT_EQ(microsoft.scope, "https://outlook.office.com/POP.AccessAsUser.All offline_access");

  PlainSettingsFields consumers = WithClient("microsoft");
  consumers.oauthTenant = "consumers";
  EXPECT_EQ(OAuthEndpointsFrom(consumers).authorizeUrl,
            "https://login.microsoftonline.com/consumers/oauth2/v2.0/authorize");

  const OAuthEndpoints google = OAuthEndpointsFrom(WithClient("GOOGLE"));
  EXPECT_EQ(google.deviceUrl, "");  // Google refuses the mail scope there
  EXPECT_EQ(google.scope, "https://mail.google.com/");
  EXPECT_EQ(google.authorizeExtras, "access_type=offline&prompt=consent");

  PlainSettingsFields overridden = WithClient("GOOGLE");
  overridden.oauthTokenUrl = "http://127.0.0.1:9/token";
  overridden.oauthScope = "mail";
  EXPECT_EQ(OAuthEndpointsFrom(overridden).tokenUrl, "http://127.0.0.1:9/token");
  EXPECT_EQ(OAuthEndpointsFrom(overridden).scope, "mail");
}

// Settings that cannot work are refused naming the key, before any call.
TEST(OAuthProviderTest, UnusableSettingsAreRefusedNamingTheKey) {
  const struct {
    const char* what;
    void (*spoil)(PlainSettingsFields&);
    const char* key;
  } cases[] = {
      {"unknown provider", [](PlainSettingsFields& f) { f.oauthProvider = "YAHOO"; },
       "OAUTH_PROVIDER"},
      {"no client", [](PlainSettingsFields& f) { f.oauthClientId = " "; }, "OAUTH_CLIENT_ID"},
      {"tenant with a path", [](PlainSettingsFields& f) { f.oauthTenant = "a/../b"; },
       "OAUTH_TENANT"},
      {"custom without token address", [](PlainSettingsFields& f) { f.oauthProvider = "CUSTOM"; },
       "OAUTH_TOKEN_URL"},
      {"plain http elsewhere",
       [](PlainSettingsFields& f) { f.oauthDeviceUrl = "http://example.com/device"; },
       "OAUTH_DEVICE_URL"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    PlainSettingsFields fields = WithClient("MICROSOFT");
    c.spoil(fields);
    try {
      OAuthEndpointsFrom(fields);
      ADD_FAILURE() << "accepted";
    } catch (const OAuthSettingsError& error) {
      EXPECT_NE(std::string(error.what()).find(c.key), std::string::npos)
          << Cp932ToUtf8(error.what());
    }
  }
}

TEST(OAuthProviderTest, AuthIsPasswordUnlessOneAndRefusesOtherValues) {
  PlainSettingsFields fields;
  for (const char* password : {"", "0", " 0 "}) {
    fields.auth = password;
    EXPECT_FALSE(OAuthChosen(fields)) << password;
  }
  fields.auth = "1";
  EXPECT_TRUE(OAuthChosen(fields));
  fields.auth = "yes";
  try {
    OAuthChosen(fields);
    ADD_FAILURE() << "no error";
  } catch (const OAuthSettingsError& error) {
    EXPECT_EQ(
        Cp932ToUtf8(error.what()),
        "Vexalo.ini の AUTH の値「yes」は 0（パスワード）、1（OAuth 2.0）のどちらでもありません");
  }
}

}  // namespace
}  // namespace vexalo
