#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "TempFolder.h"
#include "auth/SecretStore.h"

namespace vexalo {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

constexpr char kSecret[] = R"({"refresh_token":"rt-very-secret"})";

unsigned ModeOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(stat(path.c_str(), &info), 0);
  return info.st_mode & 0777;
}

// The file a timer run uses: its owner's alone (also when someone made an
// older one readable to all), never the secret in clear, and what cannot be
// read back counts as nothing stored.
TEST(FileSecretStoreTest, KeepsTheSecretPrivateAndEncrypted) {
  TempFolder folder;
  const std::string path = folder.Path(kGrantFileName);
  WriteBytes(path, "left by someone");
  chmod(path.c_str(), 0644);
  const auto store = MakeFileSecretStore(path);
  EXPECT_EQ(store->Load(), std::nullopt);

  store->Save(kSecret);
  EXPECT_EQ(ModeOf(path), 0600u);
  EXPECT_EQ(ReadBytes(path).find("very-secret"), std::string::npos);
  EXPECT_EQ(store->Load(), kSecret);
  EXPECT_EQ(MakeFileSecretStore(path)->Load(), kSecret);

  WriteBytes(path, "VEXALO-GRANT-1\nnot base64!");
  EXPECT_EQ(store->Load(), std::nullopt);
  store->Erase();
  EXPECT_FALSE(std::filesystem::exists(path));
  store->Erase();  // nothing there: nothing to do
}

TEST(FileSecretStoreTest, WithoutASessionBusTheFileIsUsed) {
  TempFolder folder;
  unsetenv("DBUS_SESSION_BUS_ADDRESS");
  const std::string dir = folder.Root().string() + "/";
  EXPECT_EQ(OpenSecretStore(dir)->Where(), dir + kGrantFileName);
}

// Run by ctest under with_keyring.sh (VEXALO_EXPECT_KEYRING set); elsewhere
// it runs only where a Secret Service answers, and otherwise skips.
TEST(KeyringSecretStoreTest, TheKeyringKeepsOneSecretPerFolderAndNoFile) {
  TempFolder folder;
  const std::string dir = folder.Root().string() + "/";
  auto store = MakeKeyringSecretStore(dir);
  if (!store) {
    if (getenv("VEXALO_EXPECT_KEYRING") != nullptr) FAIL() << "no Secret Service answered";
    GTEST_SKIP() << "no Secret Service on this session bus";
  }
  EXPECT_EQ(store->Load(), std::nullopt);
  store->Save(kSecret);
  EXPECT_EQ(OpenSecretStore(dir)->Load(), kSecret);
  EXPECT_EQ(MakeKeyringSecretStore(dir + "other/")->Load(), std::nullopt);
  EXPECT_FALSE(std::filesystem::exists(folder.Path(kGrantFileName)));
  store->Erase();
  EXPECT_EQ(store->Load(), std::nullopt);
}

}  // namespace
}  // namespace vexalo
