#pragma once

#include <cstdint>
#include <functional>

namespace vexalo {

// The one event loop of the program. The POP3 client and its socket never
// block, sleep or spin: they post calls and watch descriptors here, and the
// owner of the loop (Qt in the desktop program, PollEventLoop in tests and the
// headless runner) delivers them one at a time on the loop's thread, so no
// handler is ever interrupted by another.
class EventLoop {
 public:
  using Callback = std::function<void()>;
  // Called with what the descriptor is ready for; both may be set.
  using FdCallback = std::function<void(bool readable, bool writable)>;

  virtual ~EventLoop() = default;

  // Queues `call` to run later on the loop's thread, never inside Post itself.
  // Safe to call from any thread (the host lookup worker posts its answer).
  virtual void Post(Callback call) = 0;

  // Starts, changes or (with both false) stops watching `fd`. One watch per
  // descriptor; a new call replaces the previous interest and callback. The
  // callback fires while the descriptor is ready for what is asked, so a
  // watcher that does not consume the readiness is called again. Unwatching a
  // descriptor that is not watched does nothing.
  virtual void Watch(int fd, bool read, bool write, FdCallback callback) = 0;
  virtual void Unwatch(int fd) = 0;

  // Runs `call` once, on the loop's thread, when `delayMs` milliseconds have
  // passed (never inside StartTimer, even for 0). The id it returns is never
  // 0 and never given out twice by one loop.
  using TimerId = std::uint64_t;
  virtual TimerId StartTimer(int delayMs, Callback call) = 0;
  // Stops a timer before it fires. An id that has fired, was cancelled or is
  // 0 does nothing, so the owner of a timer may cancel it unconditionally.
  virtual void CancelTimer(TimerId id) = 0;

  // Runs the posted calls, ready descriptors and due timers that are due now,
  // once, without waiting.
  virtual void ProcessPending() = 0;
};

}  // namespace vexalo
