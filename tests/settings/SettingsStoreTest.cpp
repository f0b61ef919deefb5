#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "TempFolder.h"
#include "cipher/StringCipher.h"
#include "settings/SettingsStore.h"

namespace vexalo {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

// Fields that hold something other than every default, so a load that
// forgets one shows.
PlainSettingsFields StaleFields() {
  PlainSettingsFields fields;
  fields.host = fields.port = fields.userName = fields.passWord = "stale";
  fields.headerToken = fields.splitToken = fields.interval = "stale";
  fields.security = fields.tlsFingerprint = fields.timeout = "stale";
  fields.auth = fields.oauthProvider = fields.oauthClientId = fields.oauthClientSecret = "stale";
  fields.oauthTenant = fields.oauthAuthorizeUrl = fields.oauthDeviceUrl = "stale";
  fields.oauthTokenUrl = fields.oauthScope = "stale";
  fields.deleteAfterReading = fields.columnsByName = true;
  fields.csvGuard = false;
  return fields;
}

TEST(SettingsStore, NoFileGivesDefaultsAndTheFirstSaveWritesAllKeysInOrder) {
  TempFolder dir;
  const std::string ini = dir.Path("Vexalo.ini");
  PlainSettingsFields fields = StaleFields();
  LoadSettings(fields, ini);
  EXPECT_EQ(fields.host, "");
  EXPECT_EQ(fields.port, "110");
  EXPECT_EQ(fields.userName, "");
  EXPECT_EQ(fields.passWord, "");
  EXPECT_FALSE(fields.deleteAfterReading);
  EXPECT_EQ(fields.headerToken, "X-VEXALO: default");
  EXPECT_EQ(fields.splitToken, ":");
  EXPECT_EQ(fields.interval, "0");
  EXPECT_EQ(fields.security, "0");
  EXPECT_EQ(fields.tlsFingerprint, "");
  EXPECT_EQ(fields.timeout, "60");
  EXPECT_EQ(fields.auth, "0");
  EXPECT_EQ(fields.oauthProvider, "MICROSOFT");
  EXPECT_EQ(fields.oauthTenant, "organizations");
  EXPECT_FALSE(fields.columnsByName);
  EXPECT_TRUE(fields.csvGuard);
  EXPECT_FALSE(std::filesystem::exists(ini)) << "loading must not create the file";

  SaveSettings(fields, ini);
  EXPECT_EQ(ReadBytes(ini),
            "[POP3]\r\n"
            "HOST=\r\n"
            "PORT=110\r\n"
            "USERNAME=\r\n"
            "SECURITY=0\r\n"
            "TLS_FINGERPRINT=\r\n"
            "TIMEOUT=60\r\n"
            "AUTH=0\r\n"
            "OAUTH_PROVIDER=MICROSOFT\r\n"
            "OAUTH_CLIENT_ID=\r\n"
            "OAUTH_CLIENT_SECRET=\r\n"
            "OAUTH_TENANT=organizations\r\n"
            "OAUTH_AUTHORIZE_URL=\r\n"
            "OAUTH_DEVICE_URL=\r\n"
            "OAUTH_TOKEN_URL=\r\n"
            "OAUTH_SCOPE=\r\n"
            "PASSWORD=\r\n"
            "[MAIL]\r\n"
            "DELETE=0\r\n"
            "HEADER_TOKEN=X-VEXALO: default\r\n"
            "SPLIT_TOKEN=:\r\n"
            "INTERVAL=0\r\n"
            "COLUMNS=0\r\n"
            "CSV_GUARD=1\r\n");
}

TEST(SettingsStore, EverySettingRoundTripsThePasswordEncrypted) {
  TempFolder dir;
  const std::string ini = dir.Path("Vexalo.ini");
  PlainSettingsFields saved;
  saved.host = "pop.example.jp";
  saved.port = "pop3";
  saved.userName = "\x8e\x52\x93\x63";            // 山田
  saved.passWord = "p\x83\x70\x83\x58=\xff\x01";  // bytes Base64 and INI lines must carry
  saved.deleteAfterReading = true;
  saved.headerToken = "X-ORDER: \x92\x8d\x95\xb6";  // 注文
  saved.splitToken = "\x81\x46";                    // ：
  saved.interval = "15";
  saved.security = "2";
  saved.tlsFingerprint = "AB:CD";
  saved.timeout = "5";
  saved.columnsByName = true;
  saved.csvGuard = false;
  saved.auth = "1";
  saved.oauthProvider = "CUSTOM";
  saved.oauthClientId = "client-1";
  saved.oauthClientSecret = "client-secret";
  saved.oauthTenant = "contoso.onmicrosoft.com";
  saved.oauthAuthorizeUrl = "https://auth.example.jp/authorize";
  saved.oauthDeviceUrl = "https://auth.example.jp/device";
  saved.oauthTokenUrl = "https://auth.example.jp/token";
  saved.oauthScope = "mail offline_access";
  SaveSettings(saved, ini);

  const std::string text = ReadBytes(ini);
  EXPECT_NE(text.find("PASSWORD=" + EncryptText(saved.passWord, SettingsPassPhrase()) + "\r\n"),
            std::string::npos);
  EXPECT_EQ(text.find("\x83\x70\x83\x58"), std::string::npos) << "password stored in clear";

  PlainSettingsFields loaded = StaleFields();
  loaded.deleteAfterReading = loaded.columnsByName = false;
  loaded.csvGuard = true;
  LoadSettings(loaded, ini);
  EXPECT_EQ(loaded.host, saved.host);
  EXPECT_EQ(loaded.port, saved.port);
  EXPECT_EQ(loaded.userName, saved.userName);
  EXPECT_EQ(loaded.passWord, saved.passWord);
  EXPECT_TRUE(loaded.deleteAfterReading);
  EXPECT_EQ(loaded.headerToken, saved.headerToken);
  EXPECT_EQ(loaded.splitToken, saved.splitToken);
  EXPECT_EQ(loaded.interval, saved.interval);
  EXPECT_EQ(loaded.security, saved.security);
  EXPECT_EQ(loaded.tlsFingerprint, saved.tlsFingerprint);
  EXPECT_EQ(loaded.timeout, saved.timeout);
  std::string PlainSettingsFields::*const oauthKeys[] = {
      &PlainSettingsFields::auth,           &PlainSettingsFields::oauthProvider,
      &PlainSettingsFields::oauthClientId,  &PlainSettingsFields::oauthClientSecret,
      &PlainSettingsFields::oauthTenant,    &PlainSettingsFields::oauthAuthorizeUrl,
      &PlainSettingsFields::oauthDeviceUrl, &PlainSettingsFields::oauthTokenUrl,
      &PlainSettingsFields::oauthScope};
  for (const auto key : oauthKeys) EXPECT_EQ(loaded.*key, saved.*key);
  EXPECT_TRUE(loaded.columnsByName);
  EXPECT_FALSE(loaded.csvGuard);
}

TEST(SettingsStore, EmptyKeysLoadEmptyAndABadPasswordLoadsNothing) {
  TempFolder dir;
  const std::string ini = dir.Path("Vexalo.ini");
  WriteBytes(ini,
             "[POP3]\r\nPORT=\r\nPASSWORD=ABCDEFG\r\n"  // 7 characters: not Base64
             "[MAIL]\r\nHEADER_TOKEN=\r\nDELETE=yes\r\nINTERVAL=5\r\n");
  PlainSettingsFields fields = StaleFields();
  LoadSettings(fields, ini);
  EXPECT_EQ(fields.port, "");
  EXPECT_EQ(fields.headerToken, "");
  EXPECT_FALSE(fields.deleteAfterReading);
  EXPECT_EQ(fields.passWord, "");
  EXPECT_EQ(fields.interval, "5");  // loading went on after the password
  // A file from before encryption existed: plain, as it always was.
  EXPECT_EQ(fields.security, "0");
  EXPECT_EQ(fields.tlsFingerprint, "");
  EXPECT_EQ(fields.timeout, "60");
  // ... and from before the two table choices: body order, formulas guarded.
  EXPECT_FALSE(fields.columnsByName);
  EXPECT_TRUE(fields.csvGuard);
}

TEST(SettingsStore, SaveKeepsWhatTheUserAddedAndReplacesValuesInPlace) {
  TempFolder dir;
  const std::string ini = dir.Path("Vexalo.ini");
  WriteBytes(ini,
             "; written by hand\r\n"
             "[mail]\r\n"
             "interval=30\r\n"
             "NOTE=keep me\r\n"
             "[POP3]\r\n"
             "HOST=old.example.jp\r\n"
             "[OTHER]\r\n"
             "X=1\r\n");
  PlainSettingsFields fields;
  LoadSettings(fields, ini);
  EXPECT_EQ(fields.interval, "30");
  fields.host = "new.example.jp";
  SaveSettings(fields, ini);
  EXPECT_EQ(ReadBytes(ini),
            "; written by hand\r\n"
            "[mail]\r\n"
            "interval=30\r\n"
            "NOTE=keep me\r\n"
            "DELETE=0\r\n"
            "HEADER_TOKEN=X-VEXALO: default\r\n"
            "SPLIT_TOKEN=:\r\n"
            "COLUMNS=0\r\n"
            "CSV_GUARD=1\r\n"
            "[POP3]\r\n"
            "HOST=new.example.jp\r\n"
            "PORT=110\r\n"
            "USERNAME=\r\n"
            "SECURITY=0\r\n"
            "TLS_FINGERPRINT=\r\n"
            "TIMEOUT=60\r\n"
            "AUTH=0\r\n"
            "OAUTH_PROVIDER=MICROSOFT\r\n"
            "OAUTH_CLIENT_ID=\r\n"
            "OAUTH_CLIENT_SECRET=\r\n"
            "OAUTH_TENANT=organizations\r\n"
            "OAUTH_AUTHORIZE_URL=\r\n"
            "OAUTH_DEVICE_URL=\r\n"
            "OAUTH_TOKEN_URL=\r\n"
            "OAUTH_SCOPE=\r\n"
            "PASSWORD=\r\n"
            "[OTHER]\r\n"
            "X=1\r\n");
}

TEST(SettingsStore, AFailedWriteStopsTheSaveWithTheFullPath) {
  TempFolder dir;
  const std::string ini = dir.Path("Vexalo.ini");
  std::filesystem::create_directory(ini);
  PlainSettingsFields fields;
  fields.passWord = "secret";
  try {
    SaveSettings(fields, ini);
    ADD_FAILURE() << "the save did not fail";
  } catch (const std::runtime_error& e) {
    // "%s に書き込めません"
    EXPECT_EQ(std::string(e.what()),
              ini + " \x82\xc9\x8f\x91\x82\xab\x8d\x9e\x82\xdf\x82\xdc\x82\xb9\x82\xf1");
  }
}

// A copy of the probe program, placed in a folder of its own, is run from
// another current directory: it must read and write the file beside itself.
TEST(SettingsStore, TheFileBesideTheExecutableIsUsedWhateverTheCurrentDirectory) {
  TempFolder dir;
  const auto programDir = dir.Root() / "program", elsewhere = dir.Root() / "elsewhere";
  std::filesystem::create_directory(programDir);
  std::filesystem::create_directory(elsewhere);
  const auto probe = programDir / "settings_probe";
  std::filesystem::copy_file(VEXALO_SETTINGS_PROBE, probe);
  std::filesystem::permissions(probe, std::filesystem::perms::owner_all);
  WriteBytes((programDir / "Vexalo.ini").string(), "[POP3]\r\nHOST=beside.example.jp\r\n");
  const std::string decoy = "[POP3]\r\nHOST=decoy.example.jp\r\n";
  WriteBytes((elsewhere / "Vexalo.ini").string(), decoy);

  const std::string command =
      "cd '" + elsewhere.string() + "' && '" + probe.string() + "' saved.example.jp";
  FILE* output = popen(command.c_str(), "r");
  ASSERT_NE(output, nullptr);
  char line[256] = {};
  const bool gotLine = fgets(line, sizeof(line), output) != nullptr;
  EXPECT_EQ(pclose(output), 0);
  ASSERT_TRUE(gotLine);
  EXPECT_STREQ(line, "beside.example.jp\n");
  EXPECT_NE(ReadBytes((programDir / "Vexalo.ini").string()).find("HOST=saved.example.jp\r\n"),
            std::string::npos);
  EXPECT_EQ(ReadBytes((elsewhere / "Vexalo.ini").string()), decoy);
}

}  // namespace
}  // namespace vexalo
