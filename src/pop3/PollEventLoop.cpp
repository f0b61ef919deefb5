#include "pop3/PollEventLoop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <system_error>
#include <utility>
#include <vector>

namespace vexalo {
namespace {

constexpr short kReadEvents = POLLIN | POLLHUP | POLLERR;
constexpr short kWriteEvents = POLLOUT | POLLHUP | POLLERR;

}  // namespace

PollEventLoop::PollEventLoop() : wakeFd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
  if (wakeFd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

PollEventLoop::~PollEventLoop() { close(wakeFd_); }

void PollEventLoop::Post(Callback call) {
  {
    const std::lock_guard lock(postedMutex_);
    posted_.push_back(std::move(call));
  }
  const std::uint64_t one = 1;
  // A full counter (never reached in practice) still leaves the descriptor
  // readable, which is all the wake-up needs.
  [[maybe_unused]] const ssize_t written = write(wakeFd_, &one, sizeof one);
}

void PollEventLoop::Watch(int fd, bool read, bool write, FdCallback callback) {
  if (!read && !write) {
    Unwatch(fd);
    return;
  }
  watches_[fd] = std::make_shared<const WatchEntry>(WatchEntry{read, write, std::move(callback)});
}

void PollEventLoop::Unwatch(int fd) { watches_.erase(fd); }

void PollEventLoop::ProcessPending() { RunOnce(0); }

bool PollEventLoop::RunOnce(int timeoutMs) {
  std::vector<pollfd> fds;
  std::vector<std::shared_ptr<const WatchEntry>> entries;
  fds.reserve(watches_.size() + 1);
  entries.reserve(watches_.size());
  fds.push_back({wakeFd_, POLLIN, 0});
  for (const auto& [fd, entry] : watches_) {
    fds.push_back(
        {fd, static_cast<short>((entry->read ? POLLIN : 0) | (entry->write ? POLLOUT : 0)), 0});
    entries.push_back(entry);
  }
  bool havePosted = false;
  {
    const std::lock_guard lock(postedMutex_);
    havePosted = !posted_.empty();
  }
  const int ready = poll(fds.data(), fds.size(), havePosted ? 0 : std::max(timeoutMs, 0));
  if (ready < 0 && errno != EINTR) throw std::system_error(errno, std::generic_category(), "poll");
  if (fds[0].revents != 0) DrainWakeUp();

  bool ran = RunPosted();
  for (std::size_t i = 1; i < fds.size() && ready > 0; ++i) {
    const short revents = fds[i].revents;
    if (revents == 0) continue;
    const auto current = watches_.find(fds[i].fd);
    // Removed or replaced by an earlier callback of this round: the readiness
    // seen belongs to the old watch (or to a descriptor closed since).
    if (current == watches_.end() || current->second != entries[i - 1]) continue;
    const std::shared_ptr<const WatchEntry> entry = current->second;
    const bool readable = entry->read && (revents & kReadEvents) != 0;
    const bool writable = entry->write && (revents & kWriteEvents) != 0;
    if (!readable && !writable) continue;
    ran = true;
    entry->callback(readable, writable);
  }
  return ran;
}

bool PollEventLoop::RunUntil(const std::function<bool()>& done, int timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    RunOnce(static_cast<int>(left));
  }
  return true;
}

bool PollEventLoop::RunPosted() {
  std::size_t due = 0;
  {
    const std::lock_guard lock(postedMutex_);
    due = posted_.size();
  }
  for (std::size_t i = 0; i < due; ++i) {
    Callback call;
    {
      const std::lock_guard lock(postedMutex_);
      call = std::move(posted_.front());
      posted_.pop_front();
    }
    call();
  }
  return due > 0;
}

void PollEventLoop::DrainWakeUp() {
  std::uint64_t count = 0;
  [[maybe_unused]] const ssize_t got = read(wakeFd_, &count, sizeof count);
}

}  // namespace vexalo
