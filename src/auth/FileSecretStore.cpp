#include <cstdio>
#include <stdexcept>

#include "auth/SecretStore.h"
#include "cipher/SecureWipe.h"
#include "cipher/StringCipher.h"
#include "jconv/Cp932Codec.h"
#include "platform/ReplacementFile.h"
#include "platform/SmallFile.h"
#include "platform/UserTexts.h"
#include "settings/SettingsStore.h"

namespace vexalo {
namespace {

// A mark first, so a file of another kind is told apart from a damaged one.
constexpr std::string_view kMark = "VEXALO-GRANT-1\n";
constexpr size_t kMaxFileBytes = 256 * 1024;

std::string PassPhrase() { return SettingsPassPhrase() + "-grant"; }

class FileSecretStore final : public SecretStore {
 public:
  explicit FileSecretStore(std::string path) : path_(std::move(path)) {}

  std::optional<std::string> Load() override {
    SmallFileContent content = ReadSmallFile(path_, kMaxFileBytes);
    if (content.state != SmallFileContent::State::kRead || !content.text.starts_with(kMark)) {
      return std::nullopt;
    }
    try {
      std::string secret =
          DecryptText(std::string_view(content.text).substr(kMark.size()), PassPhrase());
      SecureWipe(content.text.data(), content.text.size());
      return secret;
    } catch (const std::exception&) {
      return std::nullopt;
    }
  }

  void Save(const std::string& secret) override {
    ReplacementFile file(path_);
    // A file someone made readable by others must not keep that.
    file.File().SetPermissions(0600);
    file.File().Write(std::string(kMark) + EncryptText(secret, PassPhrase()));
    file.Commit();
  }

  void Erase() override {
    if (std::remove(path_.c_str()) != 0 && errno != ENOENT) {
      throw std::runtime_error(Cp932Text(UserText::kCannotErase, {path_}));
    }
  }

  std::string Where() const override { return path_; }

 private:
  std::string path_;
};

}  // namespace

std::unique_ptr<SecretStore> MakeFileSecretStore(std::string path) {
  return std::make_unique<FileSecretStore>(std::move(path));
}

std::unique_ptr<SecretStore> OpenSecretStore(const std::string& dataDir) {
  if (auto keyring = MakeKeyringSecretStore(dataDir)) return keyring;
  return MakeFileSecretStore(dataDir + kGrantFileName);
}

}  // namespace vexalo
