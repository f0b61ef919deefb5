#include "fetch/SignInCommand.h"

#include <chrono>
#include <exception>

#include "auth/OAuthGrant.h"
#include "auth/SecretStore.h"
#include "auth/SignIn.h"
#include "fetch/TerminalText.h"
#include "jconv/Cp932Codec.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"
#include "text/CommFuncs.h"
#include "text/IntegerText.h"

namespace vexalo {
namespace {

constexpr int kDefaultTimeoutSeconds = 60;

int TimeoutOf(const SettingsFields& fields) {
  const std::optional<int32_t> seconds = TextToInteger(TrimText(fields.TimeoutText()));
  return seconds && *seconds > 0 ? *seconds : kDefaultTimeoutSeconds;
}

int64_t Now() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// The provider's words are untrusted: shown with their control characters
// escaped, as every text this program prints.
void Print(std::FILE* out, const std::string& utf8) {
  std::fprintf(out, "%s\n", EscapeControls(utf8).c_str());
  std::fflush(out);
}

void ShowDeviceCode(std::FILE* out, const DeviceCode& code) {
  if (!code.message.empty()) {
    Print(out, code.message);
  } else {
    Print(out, "To sign in, open " + code.verificationUri +
                   " in a web browser and enter the code " + code.userCode + ".");
  }
  Print(out, "Waiting for the sign-in to be completed (the code is good for " +
                 std::to_string((code.expiresIn + 59) / 60) + " minutes) ...");
}

void ShowBrowserAddress(std::FILE* out, const std::string& address) {
  Print(out, "Open this address in a web browser on this computer and sign in:");
  Print(out, "");
  Print(out, address);
  Print(out, "");
  Print(out, "Waiting for the browser to come back (up to " +
                 std::to_string(kBrowserWaitSeconds / 60) + " minutes) ...");
}

}  // namespace

int SignInCommand(const std::string& dir, std::FILE* out, std::FILE* errors) {
  const auto fail = [errors](const std::string& utf8) {
    std::fprintf(errors, "vexalo-fetch: %s\n", EscapeControls(utf8).c_str());
    return 1;
  };
  try {
    PlainSettingsFields fields;
    LoadSettings(fields, dir + std::string(kSettingsFileName));
    const OAuthEndpoints endpoints = OAuthEndpointsFrom(fields);
    const std::string account(TrimText(fields.UserNameText()));
    SignInPrompts prompts;
    prompts.showDeviceCode = [out](const DeviceCode& code) { ShowDeviceCode(out, code); };
    prompts.openBrowser = [out](const std::string& address) { ShowBrowserAddress(out, address); };
    const OAuthGrant grant = SignIn(endpoints, account, prompts, TimeoutOf(fields), Now());
    const auto store = OpenSecretStore(dir);
    store->Save(SerializeGrant(grant));
    Print(out, "Signed in" + (account.empty() ? std::string() : " for " + Cp932ToUtf8(account)) +
                   "; the grant is kept in " + Cp932ToUtf8(store->Where()) + ".");
    if (account.empty()) {
      Print(errors,
            "vexalo-fetch: USERNAME in Vexalo.ini is empty; the login needs the mailbox's "
            "address there");
    }
    return 0;
  } catch (const SignInFailed& error) {
    return fail(std::string("sign-in failed: ") + error.what());
  } catch (const std::exception& error) {
    return fail("sign-in failed: " + Cp932ToUtf8(error.what()));
  }
}

}  // namespace vexalo
