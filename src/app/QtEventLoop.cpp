#include "app/QtEventLoop.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <algorithm>
#include <utility>

namespace vexalo {

namespace {

// A notifier may be retired from inside its own activated signal, so it is
// switched off at once and deleted only when control is back in the loop.
void Retire(QSocketNotifier*& notifier) {
  if (notifier == nullptr) return;
  notifier->setEnabled(false);
  QObject::disconnect(notifier, nullptr, nullptr, nullptr);
  notifier->deleteLater();
  notifier = nullptr;
}

}  // namespace

QtEventLoop::QtEventLoop() = default;

QtEventLoop::~QtEventLoop() = default;

void QtEventLoop::Post(Callback call) {
  QMetaObject::invokeMethod(
      &receiver_, [call = std::move(call)] { call(); }, Qt::QueuedConnection);
}

void QtEventLoop::Watch(int fd, bool read, bool write, FdCallback callback) {
  if (!read && !write) {
    Unwatch(fd);
    return;
  }
  Watcher& watcher = watchers_[fd];
  // A fresh holder: a callback that is running right now keeps its own copy
  // of the old one alive until it returns.
  watcher.callback = std::make_shared<FdCallback>(std::move(callback));
  if (read && watcher.reader == nullptr) watcher.reader = MakeNotifier(fd, QSocketNotifier::Read);
  if (!read) Retire(watcher.reader);
  if (write && watcher.writer == nullptr) {
    watcher.writer = MakeNotifier(fd, QSocketNotifier::Write);
  }
  if (!write) Retire(watcher.writer);
}

void QtEventLoop::Unwatch(int fd) {
  const auto found = watchers_.find(fd);
  if (found == watchers_.end()) return;
  Retire(found->second.reader);
  Retire(found->second.writer);
  watchers_.erase(found);
}

EventLoop::TimerId QtEventLoop::StartTimer(int delayMs, Callback call) {
  const TimerId id = ++lastTimerId_;
  auto* timer = new QTimer(&receiver_);
  timer->setSingleShot(true);
  QObject::connect(timer, &QTimer::timeout, &receiver_, [this, id, call = std::move(call)] {
    const auto found = timers_.find(id);
    if (found == timers_.end()) return;
    found->second->deleteLater();
    timers_.erase(found);
    call();
  });
  timers_.emplace(id, timer);
  timer->start(std::max(delayMs, 0));
  return id;
}

void QtEventLoop::CancelTimer(TimerId id) {
  const auto found = timers_.find(id);
  if (found == timers_.end()) return;
  found->second->stop();
  found->second->deleteLater();
  timers_.erase(found);
}

void QtEventLoop::ProcessPending() { QCoreApplication::processEvents(); }

QSocketNotifier* QtEventLoop::MakeNotifier(int fd, QSocketNotifier::Type type) {
  auto* notifier = new QSocketNotifier(fd, type, &receiver_);
  QObject::connect(notifier, &QSocketNotifier::activated, &receiver_,
                   [this, fd, type] { Report(fd, type); });
  return notifier;
}

void QtEventLoop::Report(int fd, QSocketNotifier::Type type) {
  const auto found = watchers_.find(fd);
  if (found == watchers_.end()) return;
  const std::shared_ptr<FdCallback> callback = found->second.callback;
  if (*callback) (*callback)(type == QSocketNotifier::Read, type == QSocketNotifier::Write);
}

}  // namespace vexalo
