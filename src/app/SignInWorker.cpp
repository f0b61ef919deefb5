#include "app/SignInWorker.h"

#include <QCoreApplication>
#include <QPointer>
#include <chrono>
#include <thread>

#include "app/GuiText.h"
#include "auth/OAuthGrant.h"
#include "auth/SecretStore.h"
#include "auth/SignIn.h"

namespace vexalo {

struct SignInWorker::Shared {
  std::atomic<bool> cancelled = false;
  QPointer<SignInWorker> worker;  // read on the GUI thread only
};

SignInWorker::SignInWorker(OAuthEndpoints endpoints, std::string account, std::string dataFolder,
                           int timeoutSeconds, QObject* parent)
    : QObject(parent), shared_(std::make_shared<Shared>()) {
  shared_->worker = this;
  std::thread([shared = shared_, endpoints = std::move(endpoints), account = std::move(account),
               dataFolder = std::move(dataFolder), timeoutSeconds] {
    // Runs `call` with the worker on the GUI thread, unless it is gone by then.
    const auto post = [shared](auto call) {
      if (shared->cancelled || QCoreApplication::instance() == nullptr) return;
      QMetaObject::invokeMethod(
          qApp,
          [shared, call] {
            if (shared->worker) call(*shared->worker);
          },
          Qt::QueuedConnection);
    };
    SignInPrompts prompts;
    prompts.showDeviceCode = [post](const DeviceCode& code) {
      post([uri = QString::fromStdString(code.verificationUri),
            user = QString::fromStdString(code.userCode),
            message = QString::fromStdString(code.message)](SignInWorker& worker) {
        emit worker.DeviceCodeShown(uri, user, message);
      });
    };
    prompts.openBrowser = [post](const std::string& address) {
      post([address = QString::fromStdString(address)](SignInWorker& worker) {
        emit worker.BrowserAddressShown(address);
      });
    };
    prompts.cancelled = [shared] { return shared->cancelled.load(); };
    bool stored = false;
    QString text;
    try {
      const int64_t now = std::chrono::duration_cast<std::chrono::seconds>(
                              std::chrono::system_clock::now().time_since_epoch())
                              .count();
      const OAuthGrant grant = SignIn(endpoints, account, prompts, timeoutSeconds, now);
      OpenSecretStore(dataFolder)->Save(SerializeGrant(grant));
      stored = true;
      text = QStringLiteral("サインインしました：") + FromCp932(account);
    } catch (const SignInFailed& error) {
      text = QStringLiteral("サインインできませんでした：") + QString::fromUtf8(error.what());
    } catch (const std::exception& error) {
      text = QStringLiteral("サインインできませんでした：") + FromCp932(error.what());
    }
    post([stored, text](SignInWorker& worker) { emit worker.Finished(stored, text); });
  }).detach();
}

SignInWorker::~SignInWorker() { shared_->cancelled = true; }

}  // namespace vexalo
