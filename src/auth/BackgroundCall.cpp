#include "auth/BackgroundCall.h"

#include <thread>

#include "cipher/SecureWipe.h"

namespace vexalo {

std::shared_ptr<BackgroundCall> BackgroundCall::Start(EventLoop& loop, Work work, Done done) {
  auto call = std::make_shared<BackgroundCall>(loop, std::move(done));
  std::thread([call, work = std::move(work)] {
    std::string result;
    std::exception_ptr error;
    try {
      result = work();
    } catch (...) {
      error = std::current_exception();
    }
    // Delivered outside the handler and moved on: the exception then belongs
    // to the loop's thread alone, which reads it and frees it, instead of
    // this thread freeing it while the loop may still be reading it.
    call->Deliver(std::move(result), std::move(error));
  }).detach();
  return call;
}

void BackgroundCall::Deliver(std::string result, std::exception_ptr error) {
  std::lock_guard<std::mutex> hold(mutex_);
  if (cancelled_) {
    SecureWipe(result.data(), result.size());
    return;
  }
  loop_->Post(
      [self = shared_from_this(), result = std::move(result), error = std::move(error)]() mutable {
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
