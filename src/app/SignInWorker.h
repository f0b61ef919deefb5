#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <memory>
#include <string>

#include "auth/OAuthProvider.h"

namespace vexalo {

// One OAuth 2.0 sign-in of the settings dialog, run on a thread of its own
// (it waits on the browser or the device code for minutes, and on HTTP), its
// grant stored in the data folder's secret store (OpenSecretStore). The
// signals come on the GUI thread. Destroying the worker cancels the sign-in:
// the thread ends by itself at its next wait and reports nothing more.
class SignInWorker final : public QObject {
  Q_OBJECT

 public:
  SignInWorker(OAuthEndpoints endpoints, std::string account, std::string dataFolder,
               int timeoutSeconds, QObject* parent = nullptr);
  ~SignInWorker() override;

 signals:
  // The device grant: what to open and the code to enter there.
  void DeviceCodeShown(const QString& verificationUri, const QString& userCode,
                       const QString& message);
  // The loopback redirect: the address to open in the browser.
  void BrowserAddressShown(const QString& address);
  // The end: `stored` with the grant kept, else `text` says why not.
  void Finished(bool stored, const QString& text);

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
};

}  // namespace vexalo
