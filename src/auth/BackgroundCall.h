#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "pop3/EventLoop.h"

namespace vexalo {

// One blocking call (an HTTPS request, a keyring lookup) on a worker thread
// of its own, whose result is handed back through the event loop, so the
// loop never waits. As with HostLookup, the worker may outlive the asker;
// once cancelled it touches neither the loop nor the asker again, but the
// work itself runs to its end (a rotated token it fetched is still stored).
class BackgroundCall : public std::enable_shared_from_this<BackgroundCall> {
 public:
  using Work = std::function<std::string()>;
  // The work's result, or the exception it raised (then `result` is empty).
  using Done = std::function<void(std::string result, std::exception_ptr error)>;

  // Starts `work`; `done` runs later on the loop's thread unless Cancel came
  // first. Raises std::system_error when no thread can start. The loop must
  // stay alive until `done` ran or Cancel returned.
  static std::shared_ptr<BackgroundCall> Start(EventLoop& loop, Work work, Done done);

  // Loop thread only. After it returns `done` never runs.
  void Cancel();

  BackgroundCall(EventLoop& loop, Done done) : loop_(&loop), done_(std::move(done)) {}

 private:
  void Deliver(std::string result, std::exception_ptr error);

  std::mutex mutex_;  // guards the worker's check-and-post against Cancel
  bool cancelled_ = false;
  EventLoop* loop_;
  Done done_;
};

}  // namespace vexalo
