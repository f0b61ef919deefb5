#include "pop3/HostLookup.h"

#include <thread>

#include "pop3/SocketResolve.h"

namespace vexalo {

HostLookup::HostLookup(EventLoop& loop, Answer answer) : loop_(&loop), answer_(std::move(answer)) {}

std::shared_ptr<HostLookup> HostLookup::Start(EventLoop& loop, std::string host, Answer answer) {
  auto lookup = std::make_shared<HostLookup>(loop, std::move(answer));
  // Detached: nobody may wait for a resolver that takes its time; the
  // shared state keeps what the worker needs alive.
  std::thread([lookup, host = std::move(host)] { lookup->Resolve(host); }).detach();
  return lookup;
}

void HostLookup::Resolve(const std::string& host) {
  std::vector<HostAddress> found;
  const int error = LookupHostAddresses(host, found);
  std::vector<std::string> addresses;
  addresses.reserve(found.size());
  for (const HostAddress& address : found) addresses.push_back(AddressText(address));

  const std::lock_guard lock(mutex_);
  if (cancelled_) return;
  loop_->Post([self = shared_from_this(), error, addresses = std::move(addresses)]() mutable {
    self->Deliver(error, std::move(addresses));
  });
}

void HostLookup::Deliver(int error, std::vector<std::string> addresses) {
  if (cancelled_) return;  // cancelled on this thread after the answer was posted
  const Answer answer = std::move(answer_);
  answer_ = nullptr;
  answer(error, std::move(addresses));
}

void HostLookup::Cancel() {
  {
    const std::lock_guard lock(mutex_);
    cancelled_ = true;
  }
  answer_ = nullptr;
}

}  // namespace vexalo
