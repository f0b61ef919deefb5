#pragma once

#include <QObject>
#include <QSystemTrayIcon>

namespace vexalo {

// The program's tray icon while polling is on, and the notice it gives when
// an automatic fetch took new orders. Where the desktop has no tray, nothing
// shows and nothing is said.
class TrayNotifier final : public QObject {
  Q_OBJECT

 public:
  explicit TrayNotifier(QObject* parent = nullptr);

  // The icon shows while polling is on.
  void SetPolling(bool on);
  // After an automatic fetch that took `taken` new rows (none: nothing).
  void NotifyTaken(int taken);

  bool IconShown() const { return icon_.isVisible(); }
  // The text of the last notice given (or that would have been given without
  // a tray), for tests and the screenshots.
  const QString& LastNotice() const { return lastNotice_; }

 signals:
  // The user clicked the icon or its notice: the main window comes forward.
  void Activated();

 private:
  QSystemTrayIcon icon_;
  QString lastNotice_;
};

}  // namespace vexalo
