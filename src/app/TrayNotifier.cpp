#include "app/TrayNotifier.h"

#include <QIcon>

#include "app/MessageBoxes.h"

namespace vexalo {

TrayNotifier::TrayNotifier(QObject* parent) : QObject(parent) {
  icon_.setIcon(QIcon(QStringLiteral(":/icons/vexalo.svg")));
  icon_.setToolTip(QString::fromLatin1(kApplicationTitle));
  connect(&icon_, &QSystemTrayIcon::activated, this, &TrayNotifier::Activated);
  connect(&icon_, &QSystemTrayIcon::messageClicked, this, &TrayNotifier::Activated);
}

void TrayNotifier::SetPolling(bool on) {
  icon_.setVisible(on && QSystemTrayIcon::isSystemTrayAvailable());
}

void TrayNotifier::NotifyTaken(int taken) {
  if (taken <= 0) return;
  lastNotice_ = QStringLiteral("新しい注文メールを%1件受信しました。").arg(taken);
  if (icon_.isVisible()) {
    icon_.showMessage(QString::fromLatin1(kApplicationTitle), lastNotice_,
                      QSystemTrayIcon::Information);
  }
}

}  // namespace vexalo
