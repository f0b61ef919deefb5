#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "ScriptedPop3Peer.h"
#include "cipher/Base64.h"
#include "pop3/PollEventLoop.h"
#include "pop3/Pop3Client.h"

namespace vexalo {
namespace {

using namespace script;

constexpr int kTimeoutMs = 10000;

const char kGreeting[] = "+OK ready\r\n";

using Events = std::vector<std::string>;
using Start = std::function<void(TPop3Client::Completion)>;

// The client against a scripted peer, with every completion and every line a
// sink receives written down in order, so a test states the whole dialogue's
// outcome in one comparison.
class Pop3ClientTest : public ::testing::Test {
 protected:
  Pop3ClientTest() {
    client_.OnTrace = [this](std::string_view text) { trace_.emplace_back(text); };
  }

  void Log(std::string event) { events_.push_back(std::move(event)); }

  void StartPeer(std::vector<ScriptedPop3Peer::Step> steps) {
    peer_ = std::make_unique<ScriptedPop3Peer>(loop_, std::move(steps));
    endpoint_.host = "127.0.0.1";
    endpoint_.port = peer_->PortText();
  }

  // A completion that writes the reply down.
  TPop3Client::Completion Done() {
    return [this](Pop3Reply& reply) {
      ++doneCount_;
      last_ = reply;
      Log(std::string("done ") + ToString(reply.request) + " " + std::to_string(reply.error));
    };
  }
  // A line sink that writes every line down.
  TPop3Client::LineSink Lines() {
    return [this](std::string_view line) { Log("line " + std::string(line)); };
  }

  // Starts a request with Done() and runs the loop until its completion;
  // returns the reply. The completion must never come inside the call itself.
  const Pop3Reply& Run(const Start& start) {
    const int before = doneCount_;
    start(Done());
    EXPECT_EQ(doneCount_, before) << "completion called inside the call";
    EXPECT_TRUE(loop_.RunUntil([&] { return doneCount_ > before; }, kTimeoutMs)) << "no completion";
    return last_;
  }
  uint16_t RunError(const Start& start) { return Run(start).error; }

  Start Connect() {
    return [this](TPop3Client::Completion done) { client_.Connect(endpoint_, std::move(done)); };
  }

  // Greeting, USER and PASS accepted: the client is in the transaction state.
  static std::vector<ScriptedPop3Peer::Step> LoginScript() {
    return {Send(kGreeting), Expect("USER bob"), Send("+OK\r\n"), Expect("PASS secret"),
            Send("+OK logged in\r\n")};
  }

  void LogIn() {
    ASSERT_EQ(RunError(Connect()), 0);
    ASSERT_EQ(RunError([&](auto done) { client_.User("bob", done); }), 0);
    ASSERT_EQ(RunError([&](auto done) { client_.Pass("secret", done); }), 0);
    ASSERT_EQ(client_.ProtocolState(), pop3Transaction);
    events_.clear();
    trace_.clear();
  }

  // Runs the loop until the peer has played its whole script and checks it
  // heard what it expected.
  void ExpectPeerFinished() {
    EXPECT_TRUE(loop_.RunUntil([&] { return peer_->Finished(); }, kTimeoutMs));
    EXPECT_EQ(peer_->Problems(), "");
  }

  // The refusal text an operation raises at once, without starting anything.
  std::string Refusal(const std::function<void()>& operation) {
    const size_t out = client_.RequestsOut();
    try {
      operation();
    } catch (const Pop3Exception& e) {
      EXPECT_EQ(client_.RequestsOut(), out) << e.what();
      return e.what();
    }
    return "(not refused)";
  }

  PollEventLoop loop_;
  TPop3Client client_{loop_};
  Pop3Endpoint endpoint_;
  std::unique_ptr<ScriptedPop3Peer> peer_;
  Events events_;
  Events trace_;
  int doneCount_ = 0;
  Pop3Reply last_;
};

TEST_F(Pop3ClientTest, SessionAsTheRunDrivesIt) {
  StartPeer({Send("+OK POP3 server ready <1.2@example>\r\n"), Expect("USER bob"), Send("+OK\r\n"),
             Expect("PASS secret"), Send("+OK 2 messages\r\n"), Expect("STAT"),
             Send("+OK 2 320\r\n"), Expect("UIDL 2"), Send("+OK 2 QhdPYR:00WBw1Ph7x7\r\n"),
             Expect("RETR 2"), Send("+OK 120 octets\r\nSubject: hi\r\n\r\nbody\r\n.\r\n"),
             Expect("DELE 2"), Send("+OK deleted\r\n"), Expect("QUIT"), Send("+OK bye\r\n"),
             Close()});

  EXPECT_EQ(Run(Connect()).text, "+OK POP3 server ready <1.2@example>");
  EXPECT_EQ(client_.ProtocolState(), pop3WaitingUser);
  EXPECT_TRUE(client_.Connected());
  EXPECT_EQ(RunError([&](auto done) { client_.User("  bob\t", done); }), 0);
  EXPECT_EQ(client_.ProtocolState(), pop3WaitingPass);
  EXPECT_EQ(Run([&](auto done) { client_.Pass(" secret ", done); }).text, "+OK 2 messages");
  EXPECT_EQ(Run([&](auto done) { client_.Stat(done); }).text, "+OK 2 320");
  const Pop3Reply& uidl = Run([&](auto done) { client_.Uidl(2, done); });
  EXPECT_EQ(uidl.text, "+OK 2 QhdPYR:00WBw1Ph7x7");
  EXPECT_EQ(uidl.number, 2);
  const Pop3Reply& retr = Run([&](auto done) { client_.Retr(2, Lines(), done); });
  EXPECT_EQ(retr.text, "+OK 120 octets");
  EXPECT_TRUE(retr.lines.empty());  // they went to the sink
  EXPECT_EQ(RunError([&](auto done) { client_.Dele(2, done); }), 0);
  EXPECT_EQ(RunError([&](auto done) { client_.Quit(done); }), 0);
  EXPECT_FALSE(client_.Connected());
  EXPECT_EQ(client_.ProtocolState(), pop3Disconnected);
  EXPECT_EQ(client_.RequestsOut(), 0u);
  ExpectPeerFinished();

  // QUIT's +OK alone completes nothing; the server's close does.
  EXPECT_EQ(events_, (Events{"done Connect 0", "done User 0", "done Pass 0", "done Stat 0",
                             "done Uidl 0", "line Subject: hi", "line ", "line body", "done Retr 0",
                             "done Dele 0", "done Quit 0"}));
  EXPECT_EQ(trace_.front(), "< +OK POP3 server ready <1.2@example>");
  EXPECT_EQ(trace_[1], "> USER bob");
  EXPECT_EQ(trace_[3], "> PASS secret");
}

// The same reply, whole in one read and dripped in pieces down to one byte
// (so CR and LF land in different reads), must give the same lines.
TEST_F(Pop3ClientTest, MessageLinesAreTheSameHoweverTheReplyArrives) {
  const std::string reply =
      "+OK\r\n"
      "..\r\n"
      "...\r\n"
      ".x\r\n"
      "..leading dot\r\n"
      "\r\n"
      "lone\rcr and lone\nlf\r\n"
      "\x93\xfa\x96\x7b\x8c\xea\r\n"
      ".\r\n";
  const Events expectedEvents = {"line .",
                                 "line ..",
                                 "line .x",
                                 "line .leading dot",
                                 "line ",
                                 "line lone\rcr and lone\nlf",
                                 "line \x93\xfa\x96\x7b\x8c\xea",
                                 "done Retr 0"};
  for (const size_t pieceSize : {size_t{0}, size_t{1}, size_t{3}}) {
    SCOPED_TRACE("pieces of " + std::to_string(pieceSize));
    std::vector<ScriptedPop3Peer::Step> steps = LoginScript();
    steps.push_back(Expect("RETR 1"));
    steps.push_back(SendInPieces(reply, pieceSize));
    StartPeer(steps);
    LogIn();
    EXPECT_EQ(RunError([&](auto done) { client_.Retr(1, Lines(), done); }), 0);
    EXPECT_EQ(events_, expectedEvents);
    // The trace shows the lines as they came, the final "." included.
    EXPECT_EQ(trace_, (Events{"> RETR 1", "< +OK", "< ..", "< ...", "< .x", "< ..leading dot", "< ",
                              "< lone\rcr and lone\nlf", "< \x93\xfa\x96\x7b\x8c\xea", "< ."}));
    ExpectPeerFinished();
    client_.Abort();
  }
}

// A reply is positive when it begins with "+"; a negative one fails its own
// request with the server's text, and the session goes on.
TEST_F(Pop3ClientTest, StatusLineIsPositiveWhenItBeginsWithPlus) {
  const struct {
    std::string reply;
    uint16_t error;
  } cases[] = {{"+", 0}, {"+OK", 0}, {"+anything", 0}, {"", 500}, {"-ERR no", 500}, {"OK", 500}};
  const auto kindOf = [](uint16_t error) {
    return error == 0 ? FailureKind::kNone : FailureKind::kServerReply;
  };
  std::vector<ScriptedPop3Peer::Step> steps = LoginScript();
  for (const auto& c : cases) {
    steps.push_back(Expect("STAT"));
    steps.push_back(Send(c.reply + "\r\n"));
  }
  StartPeer(steps);
  LogIn();
  for (const auto& c : cases) {
    const Pop3Reply& reply = Run([&](auto done) { client_.Stat(done); });
    EXPECT_EQ(reply.error, c.error) << '"' << c.reply << '"';
    EXPECT_EQ(reply.kind, kindOf(c.error)) << '"' << c.reply << '"';
    EXPECT_EQ(reply.text, c.reply);
    EXPECT_TRUE(client_.Connected());
  }
  EXPECT_EQ(client_.ProtocolState(), pop3Transaction);
  ExpectPeerFinished();
}

TEST_F(Pop3ClientTest, NegativeGreetingClosesTheSession) {
  // The line after the greeting is never looked at.
  StartPeer({Send("-ERR too busy\r\n+OK not this\r\n")});
  const Pop3Reply& reply = Run(Connect());
  EXPECT_EQ(reply.error, 10004);
  EXPECT_EQ(reply.kind, FailureKind::kServerReply);
  EXPECT_EQ(reply.text, "-ERR too busy");
  EXPECT_EQ(events_, (Events{"done Connect 10004"}));
  EXPECT_EQ(trace_.front(), "< -ERR too busy");
  EXPECT_FALSE(client_.Connected());
  EXPECT_EQ(client_.ProtocolState(), pop3Disconnected);
  EXPECT_EQ(client_.RequestsOut(), 0u);
  EXPECT_TRUE(loop_.RunUntil([&] { return peer_->ClientClosed(); }, kTimeoutMs));
}

TEST_F(Pop3ClientTest, ServerCloseInTheMiddleOfRetr) {
  std::vector<ScriptedPop3Peer::Step> steps = LoginScript();
  steps.insert(steps.end(),
               {Expect("RETR 1"), Send("+OK\r\nfirst\r\nsecond\r\nhalf a li"), Close()});
  StartPeer(steps);
  LogIn();
  // The lines that came are handed out, the message never ends; whoever
  // shows the failure has a cause to name.
  EXPECT_EQ(Run([&](auto done) { client_.Retr(1, Lines(), done); }).text,
            "-ERR Connection closed by server");
  EXPECT_EQ(events_, (Events{"line first", "line second", "done Retr 10004"}));
  EXPECT_FALSE(client_.Connected());
  EXPECT_EQ(client_.ProtocolState(), pop3Disconnected);
}

// What goes out for each operation and what its reply carries: the status
// line, the message number asked for, and the lines of a listing given no
// sink.
TEST_F(Pop3ClientTest, CommandLinesAndWhatRepliesCarry) {
  std::vector<ScriptedPop3Peer::Step> steps = LoginScript();
  steps.insert(steps.end(), {
                                Expect("UIDL 3"),
                                Send("+OK 3 id with blanks\r\n"),
                                Expect("LIST 3"),
                                Send("+OK 3 1200\r\n"),
                                Expect("UIDL"),
                                Send("+OK\r\n1 aaa\r\n2 b b\r\n..3 c\r\n.\r\n"),
                                Expect("LIST"),
                                Send("+OK 2 messages\r\n1 100\r\n2 2000\r\n.\r\n"),
                                Expect("TOP 0 0"),
                                Send("+OK\r\n.\r\n"),
                                Expect("RETR -1"),
                                Send("-ERR no such message\r\n"),
                                Expect("DELE 0"),
                                Send("-ERR no such message\r\n"),
                            });
  StartPeer(steps);
  LogIn();
  const Pop3Reply& uidl = Run([&](auto done) { client_.Uidl(3, done); });
  EXPECT_EQ(uidl.text, "+OK 3 id with blanks");
  EXPECT_EQ(uidl.number, 3);
  EXPECT_EQ(Run([&](auto done) { client_.List(3, done); }).text, "+OK 3 1200");
  EXPECT_EQ(Run([&](auto done) { client_.Uidl(done); }).lines, (Events{"1 aaa", "2 b b", ".3 c"}));
  EXPECT_EQ(RunError([&](auto done) { client_.List(done, Lines()); }), 0);
  EXPECT_EQ(RunError([&](auto done) { client_.Top(0, 0, Lines(), done); }), 0);
  const Pop3Reply& retr = Run([&](auto done) { client_.Retr(-1, Lines(), done); });
  EXPECT_EQ(retr.error, 500);
  EXPECT_EQ(retr.text, "-ERR no such message");
  EXPECT_EQ(retr.number, -1);
  EXPECT_EQ(RunError([&](auto done) { client_.Dele(0, done); }), 500);
  EXPECT_EQ(client_.ProtocolState(), pop3Transaction);
  ExpectPeerFinished();
  EXPECT_EQ(events_,
            (Events{"done Uidl 0", "done List 0", "done Uidl 0", "line 1 100", "line 2 2000",
                    "done List 0", "done Top 0", "done Retr 500", "done Dele 500"}));
}

TEST_F(Pop3ClientTest, RefusalsRaiseAtOnceWithTheirTexts) {
  // Not connected.
  EXPECT_EQ(Refusal([&] { client_.Stat(Done()); }), "-ERR STAT command invalid now");
  EXPECT_EQ(trace_, (Events{"-ERR STAT command invalid now"}));
  EXPECT_EQ(Refusal([&] { client_.Capa(Done()); }), "-ERR CAPA command invalid now");
  EXPECT_EQ(Refusal([&] { client_.User("bob", Done()); }), "POP3 component not connected");
  EXPECT_EQ(Refusal([&] { client_.APop("bob", "secret", Done()); }),
            "-ERR APOP command invalid now");
  EXPECT_EQ(Refusal([&] { client_.Top(1, -1, Lines(), Done()); }),
            "Invalid MsgLines for TOP command");

  // Connected, greeting without a timestamp.
  StartPeer(LoginScript());
  EXPECT_EQ(RunError(Connect()), 0);
  EXPECT_EQ(Refusal([&] { client_.APop("bob", "secret", Done()); }),
            "-ERR Server do not support APOP (no timestamp)");
  EXPECT_EQ(Refusal([&] { client_.Connect(endpoint_, Done()); }),
            "POP3 component already connected");
  EXPECT_EQ(
      RunError([&](auto done) {
        client_.User("bob", done);
        // A request is out, and a login command never goes behind it.
        EXPECT_EQ(Refusal([&] { client_.Connect(endpoint_, Done()); }), "POP3 component not ready");
        EXPECT_EQ(Refusal([&] { client_.Pass("secret", Done()); }), "POP3 component not ready");
        EXPECT_EQ(Refusal([&] { client_.Quit(Done()); }), "POP3 component not ready");
      }),
      0);
  EXPECT_EQ(RunError([&](auto done) { client_.Pass("secret", done); }), 0);
  EXPECT_EQ(Refusal([&] { client_.User("bob", Done()); }), "-ERR USER command invalid now");
  EXPECT_EQ(trace_.back(), "-ERR USER command invalid now");
  ExpectPeerFinished();
}

TEST_F(Pop3ClientTest, QuitWhenNotConnectedCompletesFromTheLoop) {
  EXPECT_EQ(RunError([&](auto done) { client_.Quit(done); }), 0);
  EXPECT_EQ(events_, (Events{"done Quit 0"}));
}

TEST_F(Pop3ClientTest, QuitThatIsRefusedOrCutOffIsNotReportedAsDone) {
  std::vector<ScriptedPop3Peer::Step> steps = LoginScript();
  steps.insert(steps.end(),
               {Expect("QUIT"), Send("-ERR cannot commit\r\n"), Expect("QUIT"), Close()});
  StartPeer(steps);
  LogIn();
  // A negative reply fails at once and the session stays.
  EXPECT_EQ(RunError([&](auto done) { client_.Quit(done); }), 500);
  EXPECT_TRUE(client_.Connected());
  // A close without any reply fails too: nothing confirmed the QUIT.
  EXPECT_EQ(RunError([&](auto done) { client_.Quit(done); }), 10004);
  EXPECT_EQ(events_, (Events{"done Quit 500", "done Quit 10004"}));
  EXPECT_EQ(client_.RequestsOut(), 0u);
}

TEST_F(Pop3ClientTest, ApopSendsTheDigestOfTimestampAndPassword) {
  StartPeer({Send("+OK POP3 server ready <1896.697170952@dbc.mtview.ca.us>\r\n"),
             Expect("APOP mrose c4c9334bac560ecc979e58001b3e22fb"),
             Send("+OK maildrop has 1 message (369 octets)\r\n")});
  EXPECT_EQ(RunError(Connect()), 0);
  EXPECT_EQ(RunError([&](auto done) { client_.APop(" mrose ", "tanstaaf", done); }), 0);
  EXPECT_EQ(client_.ProtocolState(), pop3Transaction);
  ExpectPeerFinished();
}

// A stale timestamp would send a digest the new server never asked for.
TEST_F(Pop3ClientTest, ApopTimestampBelongsToItsOwnSession) {
  StartPeer({Send("+OK <1.2@first>\r\n"), Close()});
  EXPECT_EQ(RunError(Connect()), 0);
  EXPECT_TRUE(loop_.RunUntil([&] { return !client_.Connected(); }, kTimeoutMs));
  StartPeer({Send("+OK no timestamp here\r\n")});
  EXPECT_EQ(RunError(Connect()), 0);
  EXPECT_EQ(Refusal([&] { client_.APop("bob", "secret", Done()); }),
            "-ERR Server do not support APOP (no timestamp)");
}

TEST_F(Pop3ClientTest, CompletionStillQueuedWhenTheClientGoesIsDropped) {
  bool delivered = false;
  auto client = std::make_unique<TPop3Client>(loop_);
  client->Quit([&](Pop3Reply&) { delivered = true; });
  client.reset();
  loop_.RunOnce(0);
  EXPECT_FALSE(delivered);
}

TEST_F(Pop3ClientTest, LongLinesAreWholeUpToTheCapAndFailPastIt) {
  const std::string longest(Pop3LineBuffer::kMaxLineLength, 'L');
  std::vector<ScriptedPop3Peer::Step> steps = LoginScript();
  steps.insert(steps.end(), {Expect("RETR 1"), Send("+OK\r\n" + longest + "\r\n.\r\n"),
                             Expect("STAT"), Send("+OK " + longest + "\r\n")});
  StartPeer(steps);
  LogIn();
  size_t lineLength = 0;
  EXPECT_EQ(RunError([&](auto done) {
              client_.Retr(
                  1, [&](std::string_view line) { lineLength = line.size(); }, done);
            }),
            0);
  EXPECT_EQ(lineLength, longest.size());

  const Pop3Reply& stat = Run([&](auto done) { client_.Stat(done); });
  EXPECT_EQ(stat.error, 500);
  EXPECT_EQ(stat.text, "-ERR Line too long");
  EXPECT_FALSE(client_.Connected());
  EXPECT_EQ(events_, (Events{"done Retr 0", "done Stat 500"}));
  EXPECT_EQ(trace_.back(), "-ERR Line too long");
}

// The owner that aborts knows: nothing out is completed, and the client
// takes a new session at once.
TEST_F(Pop3ClientTest, AbortCompletesNothingAndFreesTheClient) {
  std::vector<ScriptedPop3Peer::Step> steps = LoginScript();
  steps.push_back(Expect("STAT"));
  StartPeer(steps);
  LogIn();
  client_.Stat(Done());
  EXPECT_TRUE(loop_.RunUntil([&] { return peer_->Finished(); }, kTimeoutMs));
  client_.Abort();
  EXPECT_EQ(client_.RequestsOut(), 0u);
  EXPECT_FALSE(client_.Connected());
  loop_.RunUntil([] { return false; }, 50);
  EXPECT_TRUE(events_.empty());

  StartPeer({Send(kGreeting), Expect("USER bob")});
  client_.Connect(endpoint_, [&](Pop3Reply&) { client_.User("bob", Done()); });
  EXPECT_TRUE(loop_.RunUntil([&] { return peer_->Finished(); }, kTimeoutMs));
  client_.Abort();
  loop_.RunUntil([] { return false; }, 50);
  EXPECT_TRUE(events_.empty());
}

TEST_F(Pop3ClientTest, ConnectFailures) {
  // A bound socket that does not listen: its port refuses connections and
  // stays ours while the test runs.
  const int blocker = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(blocker, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(bind(blocker, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(getsockname(blocker, reinterpret_cast<sockaddr*>(&address), &length), 0);

  endpoint_.host = "127.0.0.1";
  endpoint_.port = std::to_string(ntohs(address.sin_port));
  const Pop3Reply& refused = Run(Connect());
  close(blocker);
  EXPECT_EQ(refused.error, 10061);
  EXPECT_EQ(refused.kind, FailureKind::kRefused);
  EXPECT_EQ(refused.text, "-ERR Connection refused (Winsock error #10061)");
  EXPECT_EQ(trace_.back(), refused.text);
  EXPECT_FALSE(client_.Connected());
  EXPECT_EQ(client_.RequestsOut(), 0u);

  endpoint_.host = "no-such-host.invalid";
  const Pop3Reply& unknown = Run(Connect());
  EXPECT_EQ(unknown.error, 11001);
  EXPECT_EQ(unknown.kind, FailureKind::kHostName);
  EXPECT_EQ(unknown.text, "-ERR Host not found (Winsock error #11001)");

  // A port that cannot be resolved makes the connect fail to start.
  endpoint_.host = "127.0.0.1";
  endpoint_.port = "no-such-service";
  const Pop3Reply& badPort = Run(Connect());
  EXPECT_EQ(badPort.error, 500);
  EXPECT_EQ(badPort.kind, FailureKind::kBadPort);
  EXPECT_EQ(badPort.text.rfind("-ERR ESocketException: connect: ", 0), 0u) << badPort.text;
  EXPECT_EQ(client_.RequestsOut(), 0u);

  // The socket refuses an empty host before anything starts: the error
  // passes on and the client stays usable.
  endpoint_.host = "";
  EXPECT_THROW(client_.Connect(endpoint_, Done()), ESocketException);
  EXPECT_EQ(client_.RequestsOut(), 0u);
  EXPECT_EQ(RunError([&](auto done) { client_.Quit(done); }), 0);
}

// An IPv6 address, bare or in brackets as in a URL, reaches a server that
// listens on IPv6 only.
TEST_F(Pop3ClientTest, ConnectsToAnIpv6Address) {
  for (const char* host : {"::1", "[::1]", " [::1] "}) {
    try {
      peer_ = std::make_unique<ScriptedPop3Peer>(
          loop_,
          std::vector<ScriptedPop3Peer::Step>{Send(kGreeting), Expect("QUIT"), Send("+OK bye\r\n"),
                                              Close()},
          ScriptedPop3Peer::Loopback::kIpv6);
    } catch (const std::system_error& e) {
      GTEST_SKIP() << "no IPv6 loopback here: " << e.what();
    }
    endpoint_.host = host;
    endpoint_.port = peer_->PortText();
    const Pop3Reply& connected = Run(Connect());
    EXPECT_EQ(connected.error, 0) << host << ": " << connected.text;
    EXPECT_EQ(connected.text, "+OK ready") << host;
    EXPECT_EQ(RunError([&](auto done) { client_.Quit(done); }), 0) << host;
    ExpectPeerFinished();
  }
}

TEST_F(Pop3ClientTest, UnsolicitedLinesAreOnlyTraced) {
  StartPeer(
      {Send(std::string(kGreeting) + "* stray line\r\n"), Expect("USER bob"), Send("+OK\r\n")});
  EXPECT_EQ(RunError(Connect()), 0);
  EXPECT_EQ(RunError([&](auto done) { client_.User("bob", done); }), 0);
  EXPECT_EQ(trace_, (Events{"< +OK ready", "< * stray line", "> USER bob", "< +OK"}));
  EXPECT_EQ(events_, (Events{"done Connect 0", "done User 0"}));
  ExpectPeerFinished();
}

// CAPA is allowed before the login and leaves the protocol state; its lines
// stay for the session, names upper-cased.
TEST_F(Pop3ClientTest, CapaKeepsTheCapabilityLinesForTheSession) {
  StartPeer({Send(kGreeting), Expect("CAPA"),
             Send("+OK list follows\r\ntop\r\nSasl PLAIN login\r\n..dot\r\nUIDL\r\n.\r\n"),
             Expect("USER bob"), Send("+OK\r\n"), Expect("CAPA"), Send("-ERR not now\r\n"),
             Expect("CAPA"), Send("+OK\r\nPIPELINING\r\n.\r\n"), Expect("QUIT"),
             Send("+OK bye\r\n"), Close()});
  EXPECT_EQ(RunError(Connect()), 0);
  EXPECT_EQ(RunError([&](auto done) { client_.Capa(done); }), 0);
  EXPECT_EQ(client_.Capabilities(),
            (std::vector<std::string>{"TOP", "SASL PLAIN login", ".DOT", "UIDL"}));
  EXPECT_TRUE(client_.HasCapability("top"));
  EXPECT_TRUE(client_.HasCapability("SASL"));
  EXPECT_FALSE(client_.HasCapability("PLAIN"));
  EXPECT_FALSE(client_.HasCapability("TO"));
  EXPECT_EQ(client_.ProtocolState(), pop3WaitingUser);
  EXPECT_EQ(RunError([&](auto done) { client_.User("bob", done); }), 0);
  EXPECT_EQ(client_.ProtocolState(), pop3WaitingPass);

  // A server that refuses leaves nothing of an earlier answer.
  EXPECT_EQ(Run([&](auto done) { client_.Capa(done); }).text, "-ERR not now");
  EXPECT_TRUE(client_.Capabilities().empty());
  EXPECT_EQ(client_.ProtocolState(), pop3WaitingPass);

  EXPECT_EQ(RunError([&](auto done) { client_.Capa(done); }), 0);
  EXPECT_TRUE(client_.HasCapability("pipelining"));
  EXPECT_EQ(RunError([&](auto done) { client_.Quit(done); }), 0);
  EXPECT_TRUE(client_.Capabilities().empty());
  EXPECT_EQ(events_, (Events{"done Connect 0", "done Capa 0", "done User 0", "done Capa 500",
                             "done Capa 0", "done Quit 0"}));
  ExpectPeerFinished();
}

// Logs in and asks CAPA, which the peer answers with `capabilities`; then
// the peer plays `rest`.
std::vector<ScriptedPop3Peer::Step> WithCapabilities(const std::string& capabilities,
                                                     std::vector<ScriptedPop3Peer::Step> rest) {
  std::vector<ScriptedPop3Peer::Step> steps = {Send(kGreeting),
                                               Expect("USER bob"),
                                               Send("+OK\r\n"),
                                               Expect("PASS secret"),
                                               Send("+OK\r\n"),
                                               Expect("CAPA"),
                                               Send("+OK\r\n" + capabilities + ".\r\n")};
  steps.insert(steps.end(), rest.begin(), rest.end());
  return steps;
}

// While the server pipelines, commands go out before their replies are in,
// the replies are read in order, and the owner has taken each request's
// completion before any line of the next reply reaches it, even when every
// reply arrives in one piece. An error reply fails its own request only.
TEST_F(Pop3ClientTest, PipelinedRepliesReachTheOwnerOneRequestAfterTheOther) {
  StartPeer(WithCapabilities(
      "TOP\r\nPIPELINING\r\n",
      {Expect("RETR 1"), Expect("TOP 2 0"), Expect("DELE 1"), Expect("STAT"),
       Send("+OK\r\nfirst\r\n.\r\n+OK\r\nsecond\r\n.\r\n-ERR no such message\r\n+OK 1 5\r\n"),
       Expect("QUIT"), Send("+OK bye\r\n"), Close()}));
  LogIn();
  ASSERT_EQ(RunError([&](auto done) { client_.Capa(done); }), 0);
  events_.clear();

  client_.Retr(1, Lines(), Done());
  ASSERT_TRUE(client_.ReadyForCommand());
  client_.Top(2, 0, Lines(), Done());
  client_.Dele(1, Done());
  client_.Stat(Done());
  EXPECT_EQ(client_.RequestsOut(), 4u);
  ASSERT_TRUE(loop_.RunUntil([&] { return client_.RequestsOut() == 0; }, kTimeoutMs));

  EXPECT_EQ(events_, (Events{"line first", "done Retr 0", "line second", "done Top 0",
                             "done Dele 500", "done Stat 0"}));
  EXPECT_EQ(last_.text, "+OK 1 5");
  EXPECT_EQ(RunError([&](auto done) { client_.Quit(done); }), 0);
  ExpectPeerFinished();
}

// Without PIPELINING in CAPA one request at a time; with it, no more than
// the window: the next command is refused until a reply is in.
TEST_F(Pop3ClientTest, RequestsOutAreBoundedByWhatTheServerOffers) {
  const struct {
    const char* capabilities;
    size_t mayBeOut;
  } cases[] = {{"TOP\r\n", 1}, {"TOP\r\nPIPELINING\r\n", TPop3Client::kPipelineDepth}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.capabilities);
    std::vector<ScriptedPop3Peer::Step> rest(c.mayBeOut, Expect("STAT"));
    rest.push_back(Send([&] {
      std::string replies;
      for (size_t i = 0; i < c.mayBeOut; ++i) replies += "+OK 0 0\r\n";
      return replies;
    }()));
    StartPeer(WithCapabilities(c.capabilities, rest));
    LogIn();
    ASSERT_EQ(RunError([&](auto done) { client_.Capa(done); }), 0);
    const int before = doneCount_;

    for (size_t i = 0; i < c.mayBeOut; ++i) client_.Stat(Done());
    EXPECT_FALSE(client_.ReadyForCommand());
    EXPECT_EQ(Refusal([&] { client_.Stat(Done()); }), "POP3 component not ready");
    ASSERT_TRUE(loop_.RunUntil([&] { return doneCount_ == before + static_cast<int>(c.mayBeOut); },
                               kTimeoutMs));
    EXPECT_TRUE(client_.ReadyForCommand());
    ExpectPeerFinished();
    client_.Abort();
  }
}

// A session that ends with requests out completes the one being answered;
// those behind it went with the session.
TEST_F(Pop3ClientTest, ServerCloseWithPipelinedRequestsOutReportsOnlyTheOneAnswered) {
  StartPeer(WithCapabilities("PIPELINING\r\n", {Expect("STAT"), Expect("UIDL 1"), Expect("UIDL 2"),
                                                Send("+OK 0 0\r\n"), Close()}));
  LogIn();
  ASSERT_EQ(RunError([&](auto done) { client_.Capa(done); }), 0);
  events_.clear();

  client_.Stat(Done());
  client_.Uidl(1, Done());
  client_.Uidl(2, Done());
  ASSERT_TRUE(loop_.RunUntil([&] { return !client_.Connected(); }, kTimeoutMs));
  loop_.RunUntil([] { return false; }, 50);

  EXPECT_EQ(events_, (Events{"done Stat 0", "done Uidl 10004"}));
  EXPECT_EQ(last_.number, 1);
  EXPECT_EQ(client_.RequestsOut(), 0u);
  EXPECT_TRUE(client_.ReadyForCommand());
}

// ---- Security and time-outs (the TLS sessions themselves: against Dovecot) ----

TEST_F(Pop3ClientTest, StartTlsWithoutStlsOnOfferEndsWithoutASecretSent) {
  // Anything the client sent after CAPA would be a problem of the script.
  StartPeer({Send(kGreeting), Expect("CAPA"), Send("+OK\r\nUIDL\r\nUSER\r\n.\r\n")});
  endpoint_.security = secStartTls;
  const Pop3Reply& reply = Run(Connect());
  EXPECT_EQ(reply.error, 500);
  EXPECT_EQ(reply.request, pop3Connect);
  EXPECT_EQ(reply.text, "-ERR STARTTLS: the server does not offer STLS");
  EXPECT_FALSE(client_.Connected());
  EXPECT_TRUE(loop_.RunUntil([&] { return peer_->ClientClosed(); }, kTimeoutMs));
  EXPECT_EQ(peer_->Problems(), "");
}

TEST_F(Pop3ClientTest, StartTlsRefusedByTheServerLeavesTheLoginRefused) {
  StartPeer({Send(kGreeting), Expect("CAPA"), Send("+OK\r\nSTLS\r\n.\r\n"), Expect("STLS"),
             Send("-ERR not today\r\n")});
  endpoint_.security = secStartTls;
  const Pop3Reply& reply = Run(Connect());
  EXPECT_EQ(reply.error, 500);
  EXPECT_EQ(reply.text, "-ERR not today");
  EXPECT_FALSE(client_.Encrypted());
  EXPECT_EQ(Refusal([&] { client_.User("bob", Done()); }),
            "-ERR USER refused: the connection is not encrypted");
  EXPECT_EQ(Refusal([&] { client_.Pass("secret", Done()); }),
            "-ERR PASS refused: the connection is not encrypted");
  ExpectPeerFinished();
}

// A server that does not speak TLS ends the handshake at once, whether it
// talks POP3 in the clear or closes, with the cause in the reply: a server
// that greets in the clear gets the code that points at the encryption
// setting, however its greeting arrives and whether it closes after it.
TEST_F(Pop3ClientTest, TlsAgainstAServerThatDoesNotSpeakItFailsAtOnce) {
  const std::string plainAnswer =
      "-ERR TLS handshake failed: the server answered in plain text, without TLS";
  const struct {
    const char* peer;
    std::vector<ScriptedPop3Peer::Step> script;
    uint16_t error;
    std::string text;  // the start of the reply's text
  } cases[] = {
      {"plain POP3", {Send(kGreeting)}, kPop3ServerSpeaksPlain, plainAnswer},
      {"plain POP3 byte by byte",
       {SendInPieces(kGreeting, 1)},
       kPop3ServerSpeaksPlain,
       plainAnswer},
      {"refuses in plain and closes",
       {Send("-ERR busy\r\n"), Close()},
       kPop3ServerSpeaksPlain,
       plainAnswer},
      {"closes", {Close()}, 10004, "-ERR TLS handshake failed: the server closed the connection"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.peer);
    StartPeer(c.script);
    endpoint_.security = secTls;
    const Pop3Reply& reply = Run(Connect());
    EXPECT_EQ(reply.error, c.error);
    EXPECT_EQ(reply.text.rfind(c.text, 0), 0u) << reply.text;
    EXPECT_GT(reply.text.size(), std::string("-ERR TLS handshake failed: ").size());
    EXPECT_FALSE(client_.Connected());
    EXPECT_FALSE(client_.UntrustedCertificate());
  }
}

// A plain connection whose server starts a TLS record where the greeting is
// due is on the POP3S port: it ends at once with the code that points at the
// encryption setting, never waiting for a line that will not come.
TEST_F(Pop3ClientTest, PlainConnectionThatMeetsTlsEndsAtOnce) {
  const std::string handshake("\x16\x03\x01\x00\x2a\x02\x00\x00\x26\x03\x03", 11);
  const std::string alert("\x15\x03\x03\x00\x02\x02\x46", 7);
  const struct {
    const char* peer;
    ScriptedPop3Peer::Step record;
  } cases[] = {
      {"handshake record", Send(handshake)},
      {"alert record", Send(alert)},
      {"record byte by byte", SendInPieces(handshake, 1)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.peer);
    StartPeer({c.record});
    endpoint_.timeoutSeconds = 30;  // an answer within the test's wait is no time-out
    const Pop3Reply& reply = Run(Connect());
    EXPECT_EQ(reply.error, kPop3ServerExpectsTls);
    EXPECT_EQ(reply.text, "-ERR The server answered with TLS on a connection without encryption");
    EXPECT_FALSE(client_.Connected());
    EXPECT_EQ(client_.RequestsOut(), 0u);
  }
  // A greeting that merely holds such bytes later is a greeting.
  StartPeer({Send("+OK \x16\x03 ready\r\n")});
  EXPECT_EQ(RunError(Connect()), 0);
}

// Each wait on a silent server ends after the time-out with the socket's
// time-out, the session aborted, and the client free for the next session.
TEST_F(Pop3ClientTest, SilentServerTimesOutAtEveryWait) {
  using Steps = std::vector<ScriptedPop3Peer::Step>;
  const auto withLogin = [](Steps tail) {
    Steps steps = LoginScript();
    steps.insert(steps.end(), tail.begin(), tail.end());
    return steps;
  };
  const struct {
    const char* wait;
    Steps script;
    bool logIn;
    std::function<void(TPop3Client&, TPop3Client::Completion)> request;
  } cases[] = {
      {"greeting", {}, false, nullptr},
      {"reply", withLogin({Expect("STAT")}), true,
       [](TPop3Client& c, TPop3Client::Completion done) { c.Stat(std::move(done)); }},
      {"rest of RETR", withLogin({Expect("RETR 1"), Send("+OK\r\nfirst line\r\n")}), true,
       [](TPop3Client& c, TPop3Client::Completion done) { c.Retr(1, {}, std::move(done)); }},
      {"close after QUIT", withLogin({Expect("QUIT"), Send("+OK bye\r\n")}), true,
       [](TPop3Client& c, TPop3Client::Completion done) { c.Quit(std::move(done)); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.wait);
    StartPeer(c.script);
    endpoint_.timeoutSeconds = 1;
    if (c.logIn) LogIn();
    const Pop3Reply& reply =
        Run(c.request ? Start([&](auto done) { c.request(client_, std::move(done)); }) : Connect());
    EXPECT_EQ(reply.error, 10060);
    EXPECT_EQ(reply.kind, FailureKind::kTimedOut);
    EXPECT_EQ(reply.text, "-ERR Connection timed out (Winsock error #10060)");
    EXPECT_FALSE(client_.Connected());
    EXPECT_EQ(client_.RequestsOut(), 0u);
  }
  StartPeer(LoginScript());
  LogIn();
}

}  // namespace
}  // namespace vexalo

namespace vexalo {
namespace {

using namespace script;

// The XOAUTH2 response for user "bob" and `token`, as it goes on the wire.
std::string XOAuth2Response(const std::string& token) {
  return Base64Encode(
      "user=bob\x01"
      "auth=Bearer " +
      token + "\x01\x01");
}

// XOAUTH2 byte for byte: the initial response while the AUTH line fits in
// 255 octets (a 157-byte token makes it exactly 255), two steps beyond; an
// error challenge answered with an empty line and its words kept with the
// -ERR; a second challenge ends the session. No token ever shows in the trace.
TEST(Pop3ClientXOAuth2Test, LoginDialogues) {
  const std::string fits(157, 't');
  const std::string tooLong(158, 't');
  const std::string refusal = Base64Encode(R"({"status":"401","schemes":"bearer"})");
  const struct {
    const char* what;
    std::string token;
    std::vector<ScriptedPop3Peer::Step> afterGreeting;
    uint16_t error;
    std::string text;
    TPop3ProtocolState after;
  } cases[] = {
      {"initial response at 255 octets",
       fits,
       {Expect("AUTH XOAUTH2 " + XOAuth2Response(fits)), Send("+OK welcome\r\n")},
       0,
       "+OK welcome",
       pop3Transaction},
      {"two steps at 256",
       tooLong,
       {Expect("AUTH XOAUTH2"), Send("+ \r\n"), Expect(XOAuth2Response(tooLong)),
        Send("+OK welcome\r\n")},
       0,
       "+OK welcome",
       pop3Transaction},
      {"error challenge",
       fits,
       {Expect("AUTH XOAUTH2 " + XOAuth2Response(fits)), Send("+ " + refusal + "\r\n"), Expect(""),
        Send("-ERR [AUTH] Authentication failed.\r\n")},
       500,
       R"(-ERR [AUTH] Authentication failed. ({"status":"401","schemes":"bearer"}))",
       pop3WaitingUser},
      {"error challenge after two steps",
       tooLong,
       {Expect("AUTH XOAUTH2"), Send("+\r\n"), Expect(XOAuth2Response(tooLong)),
        Send("+ " + refusal + "\r\n"), Expect(""), Send("-ERR no\r\n")},
       500,
       R"(-ERR no ({"status":"401","schemes":"bearer"}))",
       pop3WaitingUser},
      {"challenged twice",
       fits,
       {Expect("AUTH XOAUTH2 " + XOAuth2Response(fits)), Send("+ e30=\r\n"), Expect(""),
        Send("+ e30=\r\n")},
       500,
       "-ERR AUTH: the server challenged again",
       pop3Disconnected},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    PollEventLoop loop;
    std::vector<ScriptedPop3Peer::Step> steps = {Send(kGreeting)};
    steps.insert(steps.end(), c.afterGreeting.begin(), c.afterGreeting.end());
    ScriptedPop3Peer peer(loop, steps);
    TPop3Client client(loop);
    std::string trace;
    client.OnTrace = [&](std::string_view text) { trace.append(text).append("\n"); };
    std::optional<Pop3Reply> reply;
    const auto done = [&](Pop3Reply& r) { reply = r; };
    Pop3Endpoint endpoint;
    endpoint.host = "127.0.0.1";
    endpoint.port = peer.PortText();
    client.Connect(endpoint, done);
    ASSERT_TRUE(loop.RunUntil([&] { return reply.has_value(); }, kTimeoutMs));
    reply.reset();
    client.XOAuth2("bob", c.token, done);
    ASSERT_TRUE(loop.RunUntil([&] { return reply.has_value(); }, kTimeoutMs));
    EXPECT_EQ(reply->error, c.error);
    EXPECT_EQ(reply->text, c.text);
    loop.ProcessPending();
    EXPECT_EQ(client.ProtocolState(), c.after);
    EXPECT_EQ(peer.Problems(), "");
    EXPECT_EQ(trace.find("ttt"), std::string::npos) << trace;
    EXPECT_EQ(trace.find(XOAuth2Response(c.token).substr(0, 40)), std::string::npos) << trace;
  }
}

}  // namespace
}  // namespace vexalo
