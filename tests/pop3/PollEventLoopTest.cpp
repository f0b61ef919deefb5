#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "pop3/PollEventLoop.h"

namespace vexalo {
namespace {

class Pipe {
 public:
  Pipe() { EXPECT_EQ(pipe(fds_), 0); }
  ~Pipe() {
    close(fds_[0]);
    close(fds_[1]);
  }
  int ReadEnd() const { return fds_[0]; }
  int WriteEnd() const { return fds_[1]; }
  void Fill() { ASSERT_EQ(write(fds_[1], "x", 1), 1); }

 private:
  int fds_[2] = {-1, -1};
};

TEST(PollEventLoop, PostedCallsRunLaterInOrderAndRepostsWaitForTheNextRound) {
  PollEventLoop loop;
  std::string ran;
  loop.Post([&] {
    ran += 'a';
    loop.Post([&] { ran += 'c'; });
  });
  loop.Post([&] { ran += 'b'; });
  EXPECT_EQ(ran, "");  // never inside Post

  loop.ProcessPending();
  EXPECT_EQ(ran, "ab");
  loop.ProcessPending();
  EXPECT_EQ(ran, "abc");
}

TEST(PollEventLoop, PostFromAnotherThreadWakesAWaitingLoop) {
  PollEventLoop loop;
  bool ran = false;
  std::thread poster([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    loop.Post([&] { ran = true; });
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(loop.RunUntil([&] { return ran; }, 60000));
  poster.join();
  // Woken by the post, not by the end of the wait.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

// Posted from the loop's own thread, nothing wakes the loop: the round must
// see the call before it would wait.
TEST(PollEventLoop, CallPostedBeforeAWaitingRoundRunsWithoutTheWait) {
  PollEventLoop loop;
  bool ran = false;
  loop.Post([&] { ran = true; });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(loop.RunOnce(60000));
  EXPECT_TRUE(ran);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

TEST(PollEventLoop, ReportsReadinessUntilConsumedOrUnwatched) {
  PollEventLoop loop;
  Pipe pipe;
  std::vector<std::string> calls;
  loop.Watch(pipe.ReadEnd(), true, false, [&](bool readable, bool writable) {
    calls.push_back(std::string(readable ? "r" : "-") + (writable ? "w" : "-"));
  });
  loop.Watch(pipe.WriteEnd(), false, true, [&](bool readable, bool writable) {
    calls.push_back(std::string(readable ? "R" : "-") + (writable ? "W" : "-"));
    loop.Unwatch(pipe.WriteEnd());
  });
  loop.ProcessPending();
  EXPECT_EQ(calls, (std::vector<std::string>{"-W"}));

  pipe.Fill();
  loop.ProcessPending();
  loop.ProcessPending();  // not consumed: reported again
  EXPECT_EQ(calls, (std::vector<std::string>{"-W", "r-", "r-"}));

  loop.Unwatch(pipe.ReadEnd());
  EXPECT_FALSE(loop.RunOnce(0));
  EXPECT_EQ(calls.size(), 3u);
}

TEST(PollEventLoop, CallbacksMayReplaceOrRemoveWatchesDuringARound) {
  PollEventLoop loop;
  Pipe first;
  Pipe second;
  first.Fill();
  second.Fill();
  std::string calls;
  // Descriptors are dispatched in ascending order, so `first` runs first.
  ASSERT_LT(first.ReadEnd(), second.ReadEnd());
  loop.Watch(first.ReadEnd(), true, false, [&](bool, bool) {
    calls += '1';
    // Replaces the running callback and removes one that is ready too.
    loop.Watch(first.ReadEnd(), true, false, [&](bool, bool) { calls += 'N'; });
    loop.Unwatch(second.ReadEnd());
  });
  loop.Watch(second.ReadEnd(), true, false, [&](bool, bool) { calls += '2'; });

  loop.ProcessPending();
  EXPECT_EQ(calls, "1");
  loop.ProcessPending();
  EXPECT_EQ(calls, "1N");
}

TEST(PollEventLoop, RunUntilReportsTimeOut) {
  PollEventLoop loop;
  EXPECT_FALSE(loop.RunUntil([] { return false; }, 30));
  EXPECT_TRUE(loop.RunUntil([] { return true; }, 0));
}

TEST(PollEventLoop, TimersFireInDeadlineOrderOnceAndCancelledOnesNever) {
  PollEventLoop loop;
  std::string fired;
  loop.StartTimer(40, [&] { fired += 'b'; });
  const EventLoop::TimerId cancelled = loop.StartTimer(10, [&] { fired += 'x'; });
  loop.StartTimer(0, [&] {
    fired += 'a';
    // Started from a timer's call with no delay: still a later round.
    loop.StartTimer(0, [&] { fired += 'c'; });
  });
  EXPECT_EQ(fired, "");  // never inside StartTimer
  loop.CancelTimer(cancelled);
  loop.CancelTimer(cancelled);
  loop.CancelTimer(0);

  // The wait ends at the first deadline, not at the end of the allowance.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(loop.RunOnce(60000));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  EXPECT_EQ(fired, "a");
  EXPECT_TRUE(loop.RunUntil([&] { return fired.size() == 3; }, 60000));
  EXPECT_EQ(fired, "acb");
  EXPECT_FALSE(loop.RunOnce(20));
  EXPECT_EQ(fired, "acb");
}

}  // namespace
}  // namespace vexalo
