#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "LoopbackPeer.h"
#include "pop3/AsyncSocket.h"
#include "pop3/PollEventLoop.h"

namespace vexalo {

void PrintTo(TSocketState state, std::ostream* out) { *out << ToString(state); }

namespace {

using test::LoopbackPeer;

constexpr int kTimeoutMs = 10000;
// How long a test watches for something that must not happen (a dropped
// lookup answer, a second close report).
constexpr int kQuietMs = 300;

// Bytes that differ from block to block, so a block sent twice, dropped or
// out of order shows.
std::string Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 31 + i / 1514) % 251);
  return bytes;
}

// The message of the ESocketException `call` raises, or "" when it raises none.
template <typename Call>
std::string RaisedText(Call&& call) {
  try {
    call();
  } catch (const ESocketException& e) {
    return e.what();
  }
  return "";
}

// Records the notifications of one socket as "lookup 0", "connected 10061",
// "sent 0", "closed 0", and keeps what OnDataAvailable read.
struct SocketEvents {
  explicit SocketEvents(TAsyncSocket& socket) {
    socket.OnDnsLookupDone = [this](TAsyncSocket&, std::uint16_t error) { Log("lookup", error); };
    socket.OnSessionConnected = [this](TAsyncSocket&, std::uint16_t error) {
      Log("connected", error);
    };
    socket.OnDataAvailable = [this](TAsyncSocket& sender, std::uint16_t) {
      char buffer[4096];
      const std::int32_t got = sender.Receive(buffer, sizeof buffer);
      if (got > 0) received.append(buffer, static_cast<std::size_t>(got));
    };
    socket.OnDataSent = [this](TAsyncSocket&, std::uint16_t error) { Log("sent", error); };
    socket.OnSessionClosed = [this](TAsyncSocket&, std::uint16_t error) {
      receivedAtClose = received.size();
      Log("closed", error);
    };
    socket.OnChangeState = [this](TAsyncSocket&, TSocketState, TSocketState state) {
      states.push_back(ToString(state));
    };
  }

  void Log(const char* what, std::uint16_t error) {
    log.push_back(std::string(what) + " " + std::to_string(error));
  }
  bool Saw(const std::string& entry) const {
    return std::find(log.begin(), log.end(), entry) != log.end();
  }
  std::size_t Count(const std::string& entry) const {
    return static_cast<std::size_t>(std::count(log.begin(), log.end(), entry));
  }

  std::vector<std::string> log;
  std::vector<std::string> states;
  std::string received;
  std::size_t receivedAtClose = 0;
};

class AsyncSocketTest : public ::testing::Test {
 protected:
  bool RunUntilSeen(const std::string& entry) {
    return loop.RunUntil([&] { return events.Saw(entry); }, kTimeoutMs);
  }
  // Runs the loop for a while and tells whether the log grew meanwhile.
  bool LogGrowsWhileRunning() {
    const std::size_t before = events.log.size();
    return loop.RunUntil([&] { return events.log.size() > before; }, kQuietMs);
  }
  void StartConnect(const LoopbackPeer& peer) {
    socket.SetAddr("127.0.0.1");
    socket.SetPort(peer.PortText());
    socket.Connect();
  }
  void Connect(LoopbackPeer& peer) {
    const std::size_t connected = events.Count("connected 0");
    StartConnect(peer);
    ASSERT_TRUE(peer.Accept());
    ASSERT_TRUE(loop.RunUntil([&] { return events.Count("connected 0") > connected; }, kTimeoutMs));
    ASSERT_EQ(socket.State(), wsConnected);
  }

  PollEventLoop loop;
  TAsyncSocket socket{loop};
  SocketEvents events{socket};
};

TEST_F(AsyncSocketTest, DottedHostCompletesInsideTheCallAndEmptyHostIsRefused) {
  socket.DnsLookup("192.168.1.10");
  EXPECT_EQ(events.log, (std::vector<std::string>{"lookup 0"}));
  EXPECT_EQ(socket.DnsResult(), "192.168.1.10");
  EXPECT_TRUE(socket.DnsResultList().empty());

  EXPECT_EQ(RaisedText([&] { socket.DnsLookup(""); }), "DNS lookup: invalid host name.");
  EXPECT_EQ(events.log.size(), 1u);

  // An IPv6 address is one too, bare or in the brackets of a URL.
  const struct {
    const char* host;
    const char* result;
  } addresses[] = {{"::1", "::1"}, {"[::1]", "::1"}, {"[2001:DB8::0:1]", "2001:db8::1"}};
  for (const auto& c : addresses) {
    events.log.clear();
    socket.DnsLookup(c.host);
    EXPECT_EQ(events.log, (std::vector<std::string>{"lookup 0"})) << c.host;
    EXPECT_EQ(socket.DnsResult(), c.result) << c.host;
    EXPECT_TRUE(socket.DnsResultList().empty()) << c.host;
  }
}

TEST_F(AsyncSocketTest, NamesAreResolvedOffTheLoopAndReportedFromIt) {
  socket.DnsLookup("localhost");
  EXPECT_TRUE(events.log.empty());
  ASSERT_TRUE(RunUntilSeen("lookup 0"));
  EXPECT_EQ(socket.DnsResult(), "127.0.0.1");
  ASSERT_FALSE(socket.DnsResultList().empty());
  EXPECT_EQ(socket.DnsResultList().front(), "127.0.0.1");

  socket.DnsLookup("no-such-host.invalid");
  EXPECT_EQ(socket.DnsResult(), "");
  ASSERT_TRUE(RunUntilSeen("lookup 11001"));
  EXPECT_EQ(socket.DnsResult(), "");
  EXPECT_TRUE(socket.DnsResultList().empty());
}

TEST_F(AsyncSocketTest, CancelledOrSupersededLookupsNeverReportTheirAnswer) {
  socket.DnsLookup("localhost");
  socket.CancelDnsLookup();
  EXPECT_EQ(events.log, (std::vector<std::string>{"lookup 10004"}));
  socket.CancelDnsLookup();  // nothing pending any more
  EXPECT_FALSE(LogGrowsWhileRunning());

  // A new lookup drops the pending one without a word.
  socket.DnsLookup("localhost");
  socket.DnsLookup("no-such-host.invalid");
  ASSERT_TRUE(RunUntilSeen("lookup 11001"));
  EXPECT_FALSE(LogGrowsWhileRunning());

  socket.DnsLookup("localhost");
  socket.Abort();
  EXPECT_EQ(events.log.back(), "lookup 10004");
  EXPECT_FALSE(LogGrowsWhileRunning());
  EXPECT_EQ(events.log, (std::vector<std::string>{"lookup 10004", "lookup 11001", "lookup 10004"}));
}

TEST_F(AsyncSocketTest, SocketMayGoWhileItsLookupRuns) {
  auto doomed = std::make_unique<TAsyncSocket>(loop);
  bool reported = false;
  doomed->OnDnsLookupDone = [&](TAsyncSocket&, std::uint16_t) { reported = true; };
  doomed->DnsLookup("localhost");
  doomed.reset();
  EXPECT_FALSE(loop.RunUntil([&] { return reported; }, kQuietMs));
}

TEST_F(AsyncSocketTest, RefusedConnectReportsTheErrorThenTheClose) {
  LoopbackPeer refusing(LoopbackPeer::kRefusing);
  StartConnect(refusing);
  EXPECT_EQ(socket.State(), wsConnecting);
  ASSERT_TRUE(RunUntilSeen("closed 0"));
  EXPECT_EQ(events.log, (std::vector<std::string>{"connected 10061", "closed 0"}));
  EXPECT_EQ(events.states,
            (std::vector<std::string>{"wsOpened", "wsConnecting", "wsConnected", "wsClosed"}));
  EXPECT_EQ(socket.State(), wsClosed);
}

TEST_F(AsyncSocketTest, DataWaitingAtThePeersCloseIsDeliveredFirst) {
  LoopbackPeer peer;
  Connect(peer);
  const std::string payload = Pattern(20000);
  ASSERT_TRUE(peer.Write(payload));
  peer.Close();

  ASSERT_TRUE(RunUntilSeen("closed 0"));
  EXPECT_EQ(events.received, payload);
  EXPECT_EQ(events.receivedAtClose, payload.size());
  EXPECT_EQ(events.Count("closed 0"), 1u);
  EXPECT_FALSE(LogGrowsWhileRunning());

  // The close reset the connection properties.
  EXPECT_EQ(socket.State(), wsClosed);
  EXPECT_EQ(socket.ReadCount(), 0);
  EXPECT_EQ(socket.Proto(), "tcp");
  EXPECT_EQ(RaisedText([&] { socket.Connect(); }), "Connect: No Port Specified");
}

TEST_F(AsyncSocketTest, LargeSendsArriveWholeInOrderAndReportSentOnce) {
  LoopbackPeer peer;
  Connect(peer);
  // Far more than the kernel buffers hold while the peer is not reading, so
  // the rest must wait in the queue for the socket to become writable.
  const std::string big = Pattern(std::size_t{16} * 1024 * 1024);
  EXPECT_EQ(socket.SendText("HEAD"), 4);
  EXPECT_EQ(socket.Send(big.data(), static_cast<std::int32_t>(big.size())),
            static_cast<std::int32_t>(big.size()));
  EXPECT_EQ(socket.SendText("TAIL"), 4);
  for (int round = 0; round < 3; ++round) loop.ProcessPending();
  EXPECT_FALSE(events.Saw("sent 0"));

  const std::string expected = "HEAD" + big + "TAIL";
  auto arrived = std::async(std::launch::async, [&] { return peer.Read(expected.size()); });
  ASSERT_TRUE(RunUntilSeen("sent 0"));
  EXPECT_TRUE(arrived.get() == expected);
  EXPECT_FALSE(LogGrowsWhileRunning());
  EXPECT_EQ(events.Count("sent 0"), 1u);
}

TEST_F(AsyncSocketTest, SentIsNeverReportedInsideSend) {
  LoopbackPeer peer;
  Connect(peer);
  socket.SendText("NOOP\r\n");
  EXPECT_FALSE(events.Saw("sent 0"));
  ASSERT_TRUE(RunUntilSeen("sent 0"));
  EXPECT_EQ(peer.Read(6), "NOOP\r\n");
}

TEST_F(AsyncSocketTest, CloseAndAbortReportTheCloseOnceInsideTheCall) {
  LoopbackPeer first;
  Connect(first);
  socket.Close();
  EXPECT_EQ(events.log.back(), "closed 0");
  EXPECT_EQ(socket.State(), wsClosed);
  EXPECT_TRUE(first.SeesClose());
  EXPECT_FALSE(LogGrowsWhileRunning());
  socket.Close();  // nothing open
  EXPECT_EQ(events.Count("closed 0"), 1u);

  LoopbackPeer second;
  Connect(second);
  socket.Abort();
  EXPECT_EQ(events.Count("closed 0"), 2u);
  EXPECT_TRUE(second.SeesClose());

  // Aborting a connect still under way reports the close too.
  LoopbackPeer third;
  StartConnect(third);
  socket.Abort();
  EXPECT_EQ(events.Count("closed 0"), 3u);
  EXPECT_FALSE(LogGrowsWhileRunning());
  EXPECT_EQ(events.Count("connected 0"), 2u);
}

TEST_F(AsyncSocketTest, PeerResetIsReportedWithItsError) {
  LoopbackPeer peer;
  Connect(peer);
  peer.Reset();
  ASSERT_TRUE(RunUntilSeen("closed 10054"));
  EXPECT_EQ(socket.State(), wsClosed);
}

TEST_F(AsyncSocketTest, OwnerClosingInsideItsDataHandlerGetsOneCloseReport) {
  LoopbackPeer peer;
  Connect(peer);
  // Closes on a negative line, and on the end of the stream.
  socket.OnDataAvailable = [&](TAsyncSocket& sender, std::uint16_t) {
    char buffer[64];
    const std::int32_t got = sender.Receive(buffer, sizeof buffer);
    if (got == 0 || (got > 0 && buffer[0] == '-')) sender.Close();
  };
  ASSERT_TRUE(peer.Write("+OK\r\n"));
  peer.Close();
  ASSERT_TRUE(RunUntilSeen("closed 0"));
  EXPECT_FALSE(LogGrowsWhileRunning());
  EXPECT_EQ(events.Count("closed 0"), 1u);

  LoopbackPeer second;
  Connect(second);
  ASSERT_TRUE(second.Write("-ERR go away\r\n"));
  second.Close();
  ASSERT_TRUE(loop.RunUntil([&] { return events.Count("closed 0") == 2; }, kTimeoutMs));
  EXPECT_FALSE(LogGrowsWhileRunning());
  EXPECT_EQ(events.Count("closed 0"), 2u);
}

TEST_F(AsyncSocketTest, OwnerThatReadsNothingIsAskedAgainFromTheLoop) {
  LoopbackPeer peer;
  Connect(peer);
  int asked = 0;
  socket.OnDataAvailable = [&](TAsyncSocket&, std::uint16_t) { ++asked; };
  ASSERT_TRUE(peer.Write("+OK\r\n"));
  // Each round asks once and returns to the loop instead of spinning.
  ASSERT_TRUE(loop.RunUntil([&] { return asked > 0; }, kTimeoutMs));
  EXPECT_EQ(asked, 1);
  loop.ProcessPending();
  EXPECT_EQ(asked, 2);

  std::string line;
  socket.OnDataAvailable = [&](TAsyncSocket& sender, std::uint16_t) {
    char buffer[16];
    const std::int32_t got = sender.Receive(buffer, sizeof buffer);
    if (got > 0) line.append(buffer, static_cast<std::size_t>(got));
  };
  ASSERT_TRUE(loop.RunUntil([&] { return line == "+OK\r\n"; }, kTimeoutMs));
}

TEST_F(AsyncSocketTest, HandlerMayConnectAgainFromTheCloseReport) {
  LoopbackPeer first;
  LoopbackPeer second;
  Connect(first);
  bool reconnected = false;
  socket.OnSessionClosed = [&](TAsyncSocket& sender, std::uint16_t error) {
    events.Log("closed", error);
    if (reconnected) return;
    reconnected = true;
    sender.SetAddr("127.0.0.1");
    sender.SetPort(second.PortText());
    sender.Connect();
  };
  socket.Close();
  // The new session survives the end of the close that reported the old one.
  EXPECT_EQ(socket.State(), wsConnecting);
  ASSERT_TRUE(second.Accept());
  ASSERT_TRUE(loop.RunUntil([&] { return events.Count("connected 0") == 2; }, kTimeoutMs));
  EXPECT_EQ(socket.State(), wsConnected);
  // And its own close is reported in turn.
  second.Close();
  ASSERT_TRUE(loop.RunUntil([&] { return events.Count("closed 0") == 2; }, kTimeoutMs));
}

TEST_F(AsyncSocketTest, ErrorsEscapingHandlers) {
  LoopbackPeer peer;
  Connect(peer);
  // Raised while data is delivered: that delivery ends, the session goes on.
  int deliveries = 0;
  socket.OnDataAvailable = [&](TAsyncSocket& sender, std::uint16_t) {
    char buffer[1];
    if (sender.Receive(buffer, 1) > 0 && ++deliveries == 1) throw std::runtime_error("parser");
  };
  ASSERT_TRUE(peer.Write("ab"));
  ASSERT_TRUE(loop.RunUntil([&] { return deliveries == 2; }, kTimeoutMs));
  EXPECT_EQ(socket.State(), wsConnected);

  // Raised by any other notification: the socket aborts.
  LoopbackPeer second;
  socket.Close();
  socket.OnSessionConnected = [](TAsyncSocket&, std::uint16_t) {
    throw std::runtime_error("handler");
  };
  StartConnect(second);
  ASSERT_TRUE(second.Accept());
  ASSERT_TRUE(loop.RunUntil([&] { return events.Count("closed 0") == 2; }, kTimeoutMs));
  EXPECT_EQ(socket.State(), wsClosed);
  EXPECT_TRUE(second.SeesClose());
}

TEST_F(AsyncSocketTest, RefusalsRaiseTheirTexts) {
  EXPECT_EQ(RaisedText([&] { socket.SendText("x"); }),
            "Error 10057 in function Send\r\nSocket is not connected");
  EXPECT_EQ(RaisedText([&] { socket.Connect(); }), "Connect: No Port Specified");
  socket.SetPort("110");
  EXPECT_EQ(RaisedText([&] { socket.Connect(); }), "Connect: No IP Address Specified");
  socket.SetAddr("127.0.0.1");
  socket.SetProto(" ");
  EXPECT_EQ(RaisedText([&] { socket.Connect(); }), "Connect: No Protocol Specified");
  socket.SetProto("tcp");
  const std::string longName(257, 'h');
  socket.SetAddr(longName);
  EXPECT_EQ(RaisedText([&] { socket.Connect(); }),
            "connect: SocketResolveHost: '" + longName + "' Invalid Hostname.");
  socket.SetAddr("127.0.0.1");
  socket.SetPort("no-such-service");
  EXPECT_EQ(RaisedText([&] { socket.Connect(); }),
            "connect: SocketResolvePort: Cannot convert port 'no-such-service', Error #11004");
  EXPECT_EQ(socket.State(), wsClosed);

  LoopbackPeer peer;
  Connect(peer);
  EXPECT_EQ(RaisedText([&] { socket.SetPort(peer.PortText()); }), "");
  EXPECT_EQ(RaisedText([&] { socket.SetPort("110"); }), "Cannot change Port if not closed");
  EXPECT_EQ(RaisedText([&] { socket.SetAddr("10.0.0.1"); }), "Cannot change Addr if not closed");
  EXPECT_EQ(RaisedText([&] { socket.SetProto("udp"); }), "Cannot change Proto if not closed");
  EXPECT_EQ(RaisedText([&] { socket.Connect(); }), "Connect: Socket already in use");
  EXPECT_EQ(socket.State(), wsConnected);
}

}  // namespace
}  // namespace vexalo
