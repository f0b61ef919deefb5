#include "pop3/PollEventLoop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
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
  bool wake = false;
  {
    const std::lock_guard lock(postedMutex_);
    posted_.push_back(std::move(call));
    wake = waiters_ > 0;
  }
  // A round that has not reached poll yet sees the call and does not wait, so
  // only a round that waits needs the wake-up. Most calls are posted by
  // handlers on the loop's own thread, two for every POP3 command: this saves
  // a write and a read of the descriptor each.
  if (!wake) return;
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

EventLoop::TimerId PollEventLoop::StartTimer(int delayMs, Callback call) {
  const TimerId id = ++lastTimerId_;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(std::max(delayMs, 0));
  timers_.emplace(std::make_pair(deadline, id), std::move(call));
  timerDeadlines_.emplace(id, deadline);
  return id;
}

void PollEventLoop::CancelTimer(TimerId id) {
  const auto found = timerDeadlines_.find(id);
  if (found == timerDeadlines_.end()) return;
  timers_.erase(std::make_pair(found->second, id));
  timerDeadlines_.erase(found);
}

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
  bool waits = false;
  {
    const std::lock_guard lock(postedMutex_);
    waits = posted_.empty() && timeoutMs > 0;
    if (waits) ++waiters_;
  }
  const int ready = poll(fds.data(), fds.size(), waits ? WaitBeforeNextTimer(timeoutMs) : 0);
  const int pollError = errno;
  if (waits) {
    const std::lock_guard lock(postedMutex_);
    --waiters_;
  }
  if (ready < 0 && pollError != EINTR) {
    throw std::system_error(pollError, std::generic_category(), "poll");
  }
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
  return RunDueTimers() || ran;
}

bool PollEventLoop::RunUntil(const std::function<bool()>& done, int timeoutMs) {
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

bool PollEventLoop::RunDueTimers() {
  // Only timers due when the round looked: one started by a timer's call has
  // a later deadline and waits for a later round, even with a delay of 0.
  const Clock::time_point now = Clock::now();
  bool ran = false;
  while (!timers_.empty() && timers_.begin()->first.first <= now) {
    const auto first = timers_.begin();
    Callback call = std::move(first->second);
    timerDeadlines_.erase(first->first.second);
    timers_.erase(first);
    ran = true;
    call();
  }
  return ran;
}

int PollEventLoop::WaitBeforeNextTimer(int timeoutMs) const {
  if (timers_.empty()) return timeoutMs;
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(timers_.begin()->first.first - Clock::now())
          .count();
  return static_cast<int>(std::clamp<long long>(left, 0, timeoutMs));
}

void PollEventLoop::DrainWakeUp() {
  std::uint64_t count = 0;
  [[maybe_unused]] const ssize_t got = read(wakeFd_, &count, sizeof count);
}

}  // namespace vexalo
