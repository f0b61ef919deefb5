#include <gtest/gtest.h>

#include <string>

#include "TempFolder.h"
#include "auth/AccessToken.h"
#include "auth/OAuthGrant.h"
#include "jconv/Cp932Codec.h"

namespace vexalo {
namespace {

using testing::TempFolder;

constexpr int64_t kNow = 1'800'000'000;

// Nowhere to be reached: a test that calls it fails.
OAuthEndpoints Unreachable() {
  OAuthEndpoints endpoints;
  endpoints.tokenUrl = "http://127.0.0.1:1/token";
  endpoints.clientId = "client";
  return endpoints;
}

TEST(AccessTokenTest, AStoredTokenWithAMinuteLeftIsUsedWithoutACall) {
  TempFolder folder;
  const auto store = MakeFileSecretStore(folder.Path(kGrantFileName));
  OAuthGrant grant;
  grant.refreshToken = "rt-1";
  grant.accessToken = "at-1";
  grant.accessExpiresAt = kNow + kAccessTokenMargin;
  store->Save(SerializeGrant(grant));
  EXPECT_EQ(FreshAccessToken(Unreachable(), *store, 1, kNow), "at-1");
  // A second less and it must be refreshed: the call fails here.
  EXPECT_THROW(FreshAccessToken(Unreachable(), *store, 1, kNow + 1), std::runtime_error);
}

TEST(AccessTokenTest, NothingStoredAsksToSignIn) {
  TempFolder folder;
  const auto store = MakeFileSecretStore(folder.Path(kGrantFileName));
  try {
    FreshAccessToken(Unreachable(), *store, 1, kNow);
    ADD_FAILURE() << "no error";
  } catch (const OAuthSignInNeeded& error) {
    EXPECT_NE(std::string(error.what()).find("vexalo-fetch --sign-in"), std::string::npos)
        << Cp932ToUtf8(error.what());
  }
}

}  // namespace
}  // namespace vexalo
