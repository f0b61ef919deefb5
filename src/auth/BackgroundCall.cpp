#include "auth/BackgroundCall.h"

#include <thread>

#include "cipher/SecureWipe.h"

namespace vexalo {

std::shared_ptr<BackgroundCall> BackgroundCall::Start(EventLoop& loop, Work work, Done done) {
  auto call = std::make_shared<BackgroundCall>(loop, std::move(done));
  std::thread([call, work = std::move(work)] {
    try {
      call->Deliver(work(), nullptr);
    } catch (...) {
      call->Deliver({}, std::current_exception());
    }
  }).detach();
  return call;
}

void BackgroundCall::Deliver(std::string result, std::exception_ptr error) {
  std::lock_guard<std::mutex> hold(mutex_);
  if (cancelled_) {
    SecureWipe(result.data(), result.size());
    return;
  }
  loop_->Post([self = shared_from_this(), result = std::move(result), error]() mutable {
    // Cancelled after the post, before the loop ran it.
    if (self->cancelled_) return;
    self->cancelled_ = true;
    Done done = std::move(self->done_);
    done(std::move(result), error);
  });
}

void BackgroundCall::Cancel() {
  std::lock_guard<std::mutex> hold(mutex_);
  cancelled_ = true;
  done_ = nullptr;
}

}  // namespace vexalo
