#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/QtEventLoop.h"

namespace vexalo {
namespace {

// Lets the loop run until `done` holds or a generous deadline passes; the
// deadline only keeps a broken build from hanging the suite.
bool RunUntil(const std::function<bool()>& done) {
  const QDeadlineTimer deadline(10000);
  while (!done() && !deadline.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
  }
  return done();
}

// Both ends of a connected stream socket pair, closed at the end of the test.
struct SocketPair {
  int fds[2] = {-1, -1};
  SocketPair() { EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0); }
  ~SocketPair() {
    close(fds[0]);
    close(fds[1]);
  }
  int near() const { return fds[0]; }
  int far() const { return fds[1]; }
};

TEST(QtEventLoopTest, PostedCallsRunLaterInOrder) {
  QtEventLoop loop;
  std::string trace;
  loop.Post([&] { trace += "a"; });
  loop.Post([&] {
    trace += "b";
    // Posted from inside a posted call: still not run on the spot.
    loop.Post([&] { trace += "d"; });
    trace += "c";
  });
  EXPECT_EQ(trace, "");
  ASSERT_TRUE(RunUntil([&] { return trace.size() == 4; }));
  EXPECT_EQ(trace, "abcd");
}

TEST(QtEventLoopTest, PostFromAnotherThreadRunsOnTheLoopThread) {
  QtEventLoop loop;
  QThread* ranOn = nullptr;
  std::thread worker([&] { loop.Post([&] { ranOn = QThread::currentThread(); }); });
  worker.join();
  ASSERT_TRUE(RunUntil([&] { return ranOn != nullptr; }));
  EXPECT_EQ(ranOn, QCoreApplication::instance()->thread());
}

TEST(QtEventLoopTest, CallsStillQueuedWhenTheLoopGoesAreDropped) {
  bool ran = false;
  {
    QtEventLoop loop;
    loop.Post([&] { ran = true; });
  }
  QCoreApplication::processEvents();
  EXPECT_FALSE(ran);
}

TEST(QtEventLoopTest, ProcessPendingRunsWhatIsDueWithoutWaiting) {
  QtEventLoop loop;
  bool ran = false;
  loop.Post([&] { ran = true; });
  loop.ProcessPending();
  EXPECT_TRUE(ran);
  loop.ProcessPending();  // nothing due: returns at once
}

TEST(QtEventLoopTest, TimersFireOnceLaterAndCancelledOnesNever) {
  QtEventLoop loop;
  std::string fired;
  loop.StartTimer(30, [&] { fired += 'b'; });
  const EventLoop::TimerId cancelled = loop.StartTimer(0, [&] { fired += 'x'; });
  loop.StartTimer(0, [&] { fired += 'a'; });
  EXPECT_EQ(fired, "");
  loop.CancelTimer(cancelled);
  loop.CancelTimer(cancelled);
  EXPECT_TRUE(RunUntil([&] { return fired.size() == 2; }));
  EXPECT_EQ(fired, "ab");
  QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  EXPECT_EQ(fired, "ab");
}

TEST(QtEventLoopTest, ReadReadinessRepeatsUntilConsumedAndStopsOnUnwatch) {
  QtEventLoop loop;
  SocketPair pair;
  int calls = 0;
  bool sawWritable = false;
  loop.Watch(pair.near(), true, false, [&](bool readable, bool writable) {
    EXPECT_TRUE(readable);
    sawWritable = sawWritable || writable;
    ++calls;
  });
  QCoreApplication::processEvents();
  EXPECT_EQ(calls, 0) << "nothing to read yet";

  ASSERT_EQ(write(pair.far(), "x", 1), 1);
  // The byte stays unread, so the watcher hears of it again and again.
  ASSERT_TRUE(RunUntil([&] { return calls >= 3; }));
  EXPECT_FALSE(sawWritable);

  loop.Unwatch(pair.near());
  const int callsAtUnwatch = calls;
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
  EXPECT_EQ(calls, callsAtUnwatch);
}

TEST(QtEventLoopTest, WatchChangesInterestAndCallback) {
  QtEventLoop loop;
  SocketPair pair;
  std::vector<std::string> seen;
  // A connected socket is writable at once.
  loop.Watch(pair.near(), false, true, [&](bool readable, bool writable) {
    if (writable && !readable) seen.push_back("write");
  });
  ASSERT_TRUE(RunUntil([&] { return !seen.empty(); }));

  // Switching to read only: no more write reports, the new callback hears
  // the data.
  loop.Watch(pair.near(), true, false, [&](bool readable, bool) {
    if (readable) seen.push_back("read");
    char byte = 0;
    EXPECT_EQ(read(pair.near(), &byte, 1), 1);
  });
  seen.clear();
  QCoreApplication::processEvents();
  EXPECT_TRUE(seen.empty());
  ASSERT_EQ(write(pair.far(), "x", 1), 1);
  ASSERT_TRUE(RunUntil([&] { return !seen.empty(); }));
  EXPECT_EQ(seen, std::vector<std::string>{"read"});

  // Watching neither direction is the same as Unwatch.
  loop.Watch(pair.near(), false, false, nullptr);
  ASSERT_EQ(write(pair.far(), "y", 1), 1);
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
  EXPECT_EQ(seen.size(), 1u);
}

TEST(QtEventLoopTest, CallbackMayUnwatchOrReplaceItselfWhileRunning) {
  QtEventLoop loop;
  SocketPair pair;
  ASSERT_EQ(write(pair.far(), "x", 1), 1);

  // The first callback replaces itself (destroying the function object that
  // is running) and the replacement unwatches: each must run exactly once.
  int firstCalls = 0;
  int secondCalls = 0;
  std::string capturedText = "kept alive while running";
  loop.Watch(pair.near(), true, false, [&, capturedText](bool, bool) {
    ++firstCalls;
    loop.Watch(pair.near(), true, false, [&](bool, bool) {
      ++secondCalls;
      loop.Unwatch(pair.near());
    });
    EXPECT_EQ(capturedText, "kept alive while running");
  });
  ASSERT_TRUE(RunUntil([&] { return secondCalls > 0; }));
  for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
  EXPECT_EQ(firstCalls, 1);
  EXPECT_EQ(secondCalls, 1);
}

TEST(QtEventLoopTest, DescriptorNumberCanBeWatchedAgainAfterUnwatch) {
  QtEventLoop loop;
  int calls = 0;
  {
    SocketPair first;
    loop.Watch(first.near(), true, false, [](bool, bool) {});
    loop.Unwatch(first.near());
  }
  // A new socket commonly gets the number just closed.
  SocketPair second;
  loop.Watch(second.near(), true, false, [&](bool, bool) {
    ++calls;
    loop.Unwatch(second.near());
  });
  ASSERT_EQ(write(second.far(), "x", 1), 1);
  ASSERT_TRUE(RunUntil([&] { return calls > 0; }));
}

}  // namespace
}  // namespace vexalo
