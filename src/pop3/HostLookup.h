#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "pop3/EventLoop.h"

namespace vexalo {

// One host-name lookup that runs on a worker thread of its own, so the loop
// never waits for the resolver, and whose answer is handed back through the
// loop. The worker may outlive everyone who asked (a resolver can take long to
// give up); once the lookup is cancelled it touches neither the loop nor the
// asker again.
class HostLookup : public std::enable_shared_from_this<HostLookup> {
 public:
  // error: 0 or a Windows Sockets number; addresses: numeric texts ("10.0.0.1",
  // "::1"), IPv4 first.
  using Answer = std::function<void(int error, std::vector<std::string> addresses)>;

  // Starts resolving `host`; `answer` later runs on the loop's thread unless
  // Cancel was called first. Raises std::system_error when the worker cannot
  // start. The loop must stay alive until the answer ran or Cancel returned.
  static std::shared_ptr<HostLookup> Start(EventLoop& loop, std::string host, Answer answer);

  // Loop thread only. After it returns the answer never runs and the worker
  // never posts to the loop.
  void Cancel();

  HostLookup(EventLoop& loop, Answer answer);

 private:
  void Resolve(const std::string& host);
  void Deliver(int error, std::vector<std::string> addresses);

  std::mutex mutex_;  // guards the worker's check-and-post against Cancel
  bool cancelled_ = false;
  EventLoop* loop_;
  Answer answer_;
};

}  // namespace vexalo
