#pragma once

#include <memory>
#include <optional>
#include <string>

namespace vexalo {

// Where a secret of one data folder is kept. The OAuth 2.0 grant: the
// desktop's keyring (Secret Service) when one answers, else a file of the
// folder that only its owner may read, encrypted. The POP3 password: the
// keyring too, else the settings file (PasswordPlace.h). Every call blocks
// (D-Bus, disk): make them off the event loop's thread. Texts are raised as
// std::runtime_error (CP932) naming the store.
class SecretStore {
 public:
  virtual ~SecretStore() = default;
  // The stored secret, or nothing when none is stored (or it cannot be read
  // back: the user signs in again).
  virtual std::optional<std::string> Load() = 0;
  // Replaces the secret; on return it is on stable storage.
  virtual void Save(const std::string& secret) = 0;
  virtual void Erase() = 0;
  // For messages: "the keyring" or the file's path.
  virtual std::string Where() const = 0;
};

// The file of the grant in a data folder.
inline constexpr char kGrantFileName[] = "OAuthGrant.dat";

// The file store: `path` holds the secret encrypted with the program's
// cipher, written whole beside it and renamed over it, mode 0600.
std::unique_ptr<SecretStore> MakeFileSecretStore(std::string path);

// What a keyring item holds. Each kind has a schema of its own, so the one
// is never read back or overwritten as the other.
enum class SecretKind { kOAuthGrant, kPassword };

// The keyring store of `kind` for `dataDir` (the folder names the item), or
// nothing when no Secret Service answers on the session bus.
std::unique_ptr<SecretStore> MakeKeyringSecretStore(const std::string& dataDir,
                                                    SecretKind kind = SecretKind::kOAuthGrant);

// The keyring when one answers, else the file in `dataDir` (which ends in '/').
std::unique_ptr<SecretStore> OpenSecretStore(const std::string& dataDir);

}  // namespace vexalo
