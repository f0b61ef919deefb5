#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "pop3/EventLoop.h"

namespace vexalo {

// The EventLoop of the tests and the headless runner, on poll(2). Posted
// calls run in the order they were posted; a call posted while the loop runs
// waits for the next round, so a call that posts itself cannot starve the
// descriptors. A callback may post, watch and unwatch anything, its own
// descriptor included: a watch removed or replaced during a round is not
// called with the readiness seen before the change.
//
// An exception thrown by a callback passes out of the running method; work
// not yet done in that round stays due for the next one.
class PollEventLoop final : public EventLoop {
 public:
  // Raises std::system_error when the wake-up descriptor cannot be created.
  PollEventLoop();
  ~PollEventLoop() override;

  PollEventLoop(const PollEventLoop&) = delete;
  PollEventLoop& operator=(const PollEventLoop&) = delete;

  void Post(Callback call) override;
  void Watch(int fd, bool read, bool write, FdCallback callback) override;
  void Unwatch(int fd) override;
  TimerId StartTimer(int delayMs, Callback call) override;
  void CancelTimer(TimerId id) override;
  void ProcessPending() override;

  // Waits at most `timeoutMs` (0: not at all) for a posted call, a ready
  // descriptor or a timer, then runs one round. Returns whether anything ran.
  bool RunOnce(int timeoutMs);

  // Runs rounds until `done` returns true (checked before every round) or
  // `timeoutMs` has passed; returns false on time-out.
  bool RunUntil(const std::function<bool()>& done, int timeoutMs);

 private:
  struct WatchEntry {
    bool read;
    bool write;
    FdCallback callback;
  };

  using Clock = std::chrono::steady_clock;

  bool RunPosted();
  bool RunDueTimers();
  // `timeoutMs` shortened to the first timer's deadline.
  int WaitBeforeNextTimer(int timeoutMs) const;
  void DrainWakeUp();

  int wakeFd_ = -1;
  std::mutex postedMutex_;
  std::deque<Callback> posted_;
  // Rounds waiting in poll (or about to), which a Post must wake.
  int waiters_ = 0;
  // Replaced, never changed in place, so a running callback stays alive.
  std::map<int, std::shared_ptr<const WatchEntry>> watches_;
  // Ordered by deadline, then by id, so timers due together run in the order
  // they were started.
  std::map<std::pair<Clock::time_point, TimerId>, Callback> timers_;
  std::map<TimerId, Clock::time_point> timerDeadlines_;
  TimerId lastTimerId_ = 0;
};

}  // namespace vexalo
