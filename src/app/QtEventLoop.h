#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <map>
#include <memory>

#include "pop3/EventLoop.h"

namespace vexalo {

// The EventLoop of the desktop program: Qt's own loop on the GUI thread, so the
// POP3 client's socket notifications and request-done calls arrive as ordinary
// Qt events between the window's other handlers, one at a time.
//
// Post may be called from any thread; Watch, Unwatch and ProcessPending only
// from the thread that created the loop (the GUI thread). Calls still queued
// when the loop is destroyed are dropped without running.
class QtEventLoop final : public EventLoop {
 public:
  QtEventLoop();
  ~QtEventLoop() override;

  QtEventLoop(const QtEventLoop&) = delete;
  QtEventLoop& operator=(const QtEventLoop&) = delete;

  // Delivered through a queued Qt call, so it runs once control is back in the
  // loop and never inside Post.
  void Post(Callback call) override;

  // One QSocketNotifier per direction asked for. Like the descriptors they
  // watch they are level-triggered: a callback that leaves the data unread is
  // called again on the next pass of the loop. Safe to call from inside a
  // watch callback, also for the descriptor being reported.
  void Watch(int fd, bool read, bool write, FdCallback callback) override;
  void Unwatch(int fd) override;

  // Single-shot QTimers owned by the loop, deleted once control is back in
  // the loop after they fired or were cancelled.
  TimerId StartTimer(int delayMs, Callback call) override;
  void CancelTimer(TimerId id) override;

  // One pass of Qt's loop over what is due now; it does not wait.
  void ProcessPending() override;

 private:
  // The notifiers are children of receiver_, so whatever is still alive or
  // waiting for its deferred delete goes with the loop.
  struct Watcher {
    std::shared_ptr<FdCallback> callback;
    QSocketNotifier* reader = nullptr;
    QSocketNotifier* writer = nullptr;
  };

  QSocketNotifier* MakeNotifier(int fd, QSocketNotifier::Type type);
  void Report(int fd, QSocketNotifier::Type type);

  // Receives the queued calls and owns the notifiers; destroying it drops
  // what is still queued.
  QObject receiver_;
  std::map<int, Watcher> watchers_;
  std::map<TimerId, QTimer*> timers_;
  TimerId lastTimerId_ = 0;
};

}  // namespace vexalo
