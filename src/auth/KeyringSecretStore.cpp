#include <libsecret/secret.h>

#include <cstdlib>
#include <stdexcept>

#include "auth/SecretStore.h"
#include "cipher/SecureWipe.h"
#include "jconv/Cp932Codec.h"
#include "platform/SharedLibrary.h"
#include "platform/UserTexts.h"

namespace vexalo {
namespace {

SecretSchema FolderSchema(const char* name) {
  SecretSchema made{};
  made.name = name;
  made.flags = SECRET_SCHEMA_NONE;
  made.attributes[0] = {"folder", SECRET_SCHEMA_ATTRIBUTE_STRING};
  made.attributes[1] = {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING};
  return made;
}

// The schema's name is matched on lookup: the grant's items, stored before
// the password joined them, stay where they were.
const SecretSchema* SchemaOf(SecretKind kind) {
  static const SecretSchema grant = FolderSchema("org.vexalo.OAuthGrant");
  static const SecretSchema password = FolderSchema("org.vexalo.Pop3Password");
  return kind == SecretKind::kOAuthGrant ? &grant : &password;
}

std::string LabelOf(SecretKind kind, const std::string& folder) {
  return (kind == SecretKind::kOAuthGrant ? "Vexalo OAuth 2.0 (" : "Vexalo POP3 password (") +
         folder + ")";
}

// libsecret, loaded when a keyring is first asked for rather than linked: it
// brings glib and a dozen more libraries to every start-up, and a timer run
// without a session bus never asks.
struct SecretLibrary {
  decltype(&secret_password_lookup_sync) lookup = nullptr;
  decltype(&secret_password_store_sync) store = nullptr;
  decltype(&secret_password_clear_sync) clear = nullptr;
  decltype(&secret_password_free) free = nullptr;
  decltype(&g_error_free) freeError = nullptr;
};

SecretLibrary LoadSecret() {
  const SharedLibrary library("libsecret-1.so.0");
  SecretLibrary secret;
  library.Bind("secret_password_lookup_sync", secret.lookup);
  library.Bind("secret_password_store_sync", secret.store);
  library.Bind("secret_password_clear_sync", secret.clear);
  library.Bind("secret_password_free", secret.free);
  library.Bind("g_error_free", secret.freeError);
  return secret;
}

// Loaded on the first call; a load that failed is tried again next time.
const SecretLibrary& Secret() {
  static const SecretLibrary secret = LoadSecret();
  return secret;
}

struct ErrorHolder {
  GError* error = nullptr;
  ~ErrorHolder() {
    if (error != nullptr) Secret().freeError(error);
  }
  std::string Text() const { return error != nullptr ? error->message : "unknown error"; }
};

class KeyringSecretStore final : public SecretStore {
 public:
  KeyringSecretStore(std::string dataDir, SecretKind kind)
      : folder_(std::move(dataDir)), schema_(SchemaOf(kind)), label_(LabelOf(kind, folder_)) {}

  // Raises when the service does not answer: the probe of MakeKeyringSecretStore.
  std::optional<std::string> Lookup() const {
    ErrorHolder error;
    gchar* secret =
        Secret().lookup(schema_, nullptr, &error.error, "folder", folder_.c_str(), nullptr);
    if (error.error != nullptr) throw std::runtime_error(error.Text());
    if (secret == nullptr) return std::nullopt;
    std::string text(secret);
    Secret().free(secret);  // wipes it
    return text;
  }

  std::optional<std::string> Load() override {
    try {
      return Lookup();
    } catch (const std::exception&) {
      return std::nullopt;
    }
  }

  void Save(const std::string& secret) override {
    ErrorHolder error;
    Secret().store(schema_, SECRET_COLLECTION_DEFAULT, label_.c_str(), secret.c_str(), nullptr,
                   &error.error, "folder", folder_.c_str(), nullptr);
    if (error.error != nullptr) {
      throw std::runtime_error(Cp932Text(UserText::kKeyringStoreFailed, {error.Text()}));
    }
  }

  void Erase() override {
    ErrorHolder error;
    Secret().clear(schema_, nullptr, &error.error, "folder", folder_.c_str(), nullptr);
    if (error.error != nullptr) {
      throw std::runtime_error(Cp932Text(UserText::kKeyringEraseFailed, {error.Text()}));
    }
  }

  std::string Where() const override { return "the keyring (Secret Service)"; }

 private:
  std::string folder_;
  const SecretSchema* schema_;
  std::string label_;
};

}  // namespace

std::unique_ptr<SecretStore> MakeKeyringSecretStore(const std::string& dataDir, SecretKind kind) {
  // Without a session bus libsecret would try to launch one (X11
  // autolaunch), which a cron or timer run must never do.
  const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (bus == nullptr || *bus == '\0') return nullptr;
  auto store = std::make_unique<KeyringSecretStore>(dataDir, kind);
  try {
    // No libsecret installed is no keyring either.
    static_cast<void>(Secret());
    static_cast<void>(store->Lookup());
  } catch (const std::exception&) {
    return nullptr;
  }
  return store;
}

}  // namespace vexalo
