#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ScriptedPop3Peer.h"
#include "pop3/PollEventLoop.h"
#include "pop3/Pop3Client.h"

namespace vexalo {
namespace {

using namespace script;

constexpr int kTimeoutMs = 10000;

const char kGreeting[] = "+OK ready\r\n";

// The client against a scripted peer, with every event it fires written down
// in order, so a test states the whole dialogue's outcome in one comparison.
class Pop3ClientTest : public ::testing::Test {
 protected:
  Pop3ClientTest() {
    client_.OnRequestDone = [this](TCustomPop3Client&, TPop3Request request, uint16_t error) {
      ++doneCount_;
      lastError_ = error;
      Log(std::string("done ") + ToString(request) + " " + std::to_string(error));
    };
    client_.OnSessionConnected = [this](TCustomPop3Client&, uint16_t error) {
      Log("connected " + std::to_string(error));
    };
    client_.OnSessionClosed = [this](TCustomPop3Client&, uint16_t error) {
      Log("closed " + std::to_string(error));
    };
    client_.OnMessageBegin = [this](TCustomPop3Client& c) { Log("begin " + c.LastResponse()); };
    client_.OnMessageLine = [this](TCustomPop3Client& c) { Log("line " + c.LastResponse()); };
    client_.OnMessageEnd = [this](TCustomPop3Client&) { Log("end"); };
    client_.OnListBegin = [this](TCustomPop3Client&) { Log("list begin"); };
    client_.OnListLine = [this](TCustomPop3Client& c) {
      Log("list " + std::to_string(c.MsgNum()) + " " + std::to_string(c.MsgSize()));
    };
    client_.OnListEnd = [this](TCustomPop3Client&) { Log("list end"); };
    client_.OnUidlBegin = [this](TCustomPop3Client&) { Log("uidl begin"); };
    client_.OnUidlLine = [this](TCustomPop3Client& c) {
      Log("uidl " + std::to_string(c.MsgNum()) + " " + c.MsgUidl());
    };
    client_.OnUidlEnd = [this](TCustomPop3Client&) { Log("uidl end"); };
    client_.OnResponse = [this](TCustomPop3Client&, const std::string& line) {
      responses_.push_back(line);
    };
    client_.OnDisplay = [this](TCustomPop3Client&, const std::string& text) {
      display_.push_back(text);
    };
  }

  void Log(std::string event) { events_.push_back(std::move(event)); }

  void StartPeer(std::vector<ScriptedPop3Peer::Step> steps) {
    peer_ = std::make_unique<ScriptedPop3Peer>(loop_, std::move(steps));
    client_.SetHost("127.0.0.1");
    client_.SetPort(peer_->PortText());
  }

  // Starts a request and runs the loop until its OnRequestDone; returns the
  // error. The completion must never arrive inside the call itself.
  uint16_t Run(const std::function<void()>& start) {
    const int before = doneCount_;
    start();
    EXPECT_EQ(doneCount_, before) << "OnRequestDone fired inside the call";
    EXPECT_TRUE(loop_.RunUntil([&] { return doneCount_ > before; }, kTimeoutMs))
        << "no OnRequestDone";
    return lastError_;
  }

  // Greeting, USER and PASS accepted: the client is in the transaction state.
  static std::vector<ScriptedPop3Peer::Step> LoginScript() {
    return {Send(kGreeting), Expect("USER bob"), Send("+OK\r\n"), Expect("PASS secret"),
            Send("+OK logged in\r\n")};
  }

  void LogIn() {
    client_.SetUserName("bob");
    client_.SetPassWord("secret");
    ASSERT_EQ(Run([&] { client_.Connect(); }), 0);
    ASSERT_EQ(Run([&] { client_.User(); }), 0);
    ASSERT_EQ(Run([&] { client_.Pass(); }), 0);
    ASSERT_EQ(client_.ProtocolState(), pop3Transaction);
    events_.clear();
    responses_.clear();
    display_.clear();
  }

  // Runs the loop until the peer has played its whole script and checks it
  // heard what it expected.
  void ExpectPeerFinished() {
    EXPECT_TRUE(loop_.RunUntil([&] { return peer_->Finished(); }, kTimeoutMs));
    EXPECT_EQ(peer_->Problems(), "");
  }

  PollEventLoop loop_;
  TPop3Client client_{loop_};
  std::unique_ptr<ScriptedPop3Peer> peer_;
  std::vector<std::string> events_;
  std::vector<std::string> responses_;
  std::vector<std::string> display_;
  int doneCount_ = 0;
  uint16_t lastError_ = 0;
};

using Events = std::vector<std::string>;

TEST_F(Pop3ClientTest, SessionAsTheRunDrivesIt) {
  StartPeer({Send("+OK POP3 server ready <1.2@example>\r\n"), Expect("USER bob"), Send("+OK\r\n"),
             Expect("PASS secret"), Send("+OK 2 messages\r\n"), Expect("STAT"),
             Send("+OK 2 320\r\n"), Expect("UIDL 2"), Send("+OK 2 QhdPYR:00WBw1Ph7x7\r\n"),
             Expect("RETR 2"), Send("+OK 120 octets\r\nSubject: hi\r\n\r\nbody\r\n.\r\n"),
             Expect("DELE 2"), Send("+OK deleted\r\n"), Expect("QUIT"), Send("+OK bye\r\n"),
             Close()});
  client_.SetUserName("  bob\t");
  client_.SetPassWord(" secret ");

  EXPECT_EQ(Run([&] { client_.Connect(); }), 0);
  EXPECT_EQ(client_.ProtocolState(), pop3WaitingUser);
  EXPECT_EQ(client_.LastResponse(), "+OK POP3 server ready <1.2@example>");
  EXPECT_TRUE(client_.Connected());
  EXPECT_EQ(Run([&] { client_.User(); }), 0);
  EXPECT_EQ(client_.ProtocolState(), pop3WaitingPass);
  EXPECT_EQ(Run([&] { client_.Pass(); }), 0);
  EXPECT_EQ(client_.LastResponse(), "+OK 2 messages");
  EXPECT_EQ(Run([&] { client_.Stat(); }), 0);
  EXPECT_EQ(client_.MsgCount(), 2);
  EXPECT_EQ(client_.MsgSize(), 320);
  client_.SetMsgNum(2);
  EXPECT_EQ(Run([&] { client_.Uidl(); }), 0);
  EXPECT_EQ(client_.MsgUidl(), "QhdPYR:00WBw1Ph7x7");
  EXPECT_EQ(Run([&] { client_.Retr(); }), 0);
  EXPECT_EQ(client_.LastResponse(), "");
  EXPECT_EQ(Run([&] { client_.Dele(); }), 0);
  EXPECT_EQ(Run([&] { client_.Quit(); }), 0);
  EXPECT_FALSE(client_.Connected());
  EXPECT_EQ(client_.ProtocolState(), pop3Disconnected);
  EXPECT_EQ(client_.State(), pop3Ready);
  EXPECT_EQ(client_.ErrorMessage(), "");
  ExpectPeerFinished();

  // QUIT's +OK alone completes nothing; the server's close reports it.
  EXPECT_EQ(events_,
            (Events{"connected 0", "done Connect 0", "done User 0", "done Pass 0", "done Stat 0",
                    "done Uidl 0", "begin +OK 120 octets", "line Subject: hi", "line ", "line body",
                    "end", "done Retr 0", "done Dele 0", "closed 0", "done Quit 0"}));
  EXPECT_EQ(display_.front(), "< +OK POP3 server ready <1.2@example>");
  EXPECT_EQ(display_[1], "> USER bob");
  EXPECT_EQ(display_[3], "> PASS secret");
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
  const Events expectedEvents = {"begin +OK",
                                 "line .",
                                 "line ..",
                                 "line .x",
                                 "line .leading dot",
                                 "line ",
                                 "line lone\rcr and lone\nlf",
                                 "line \x93\xfa\x96\x7b\x8c\xea",
                                 "end",
                                 "done Retr 0"};
  for (const size_t pieceSize : {size_t{0}, size_t{1}, size_t{3}}) {
    SCOPED_TRACE("pieces of " + std::to_string(pieceSize));
    std::vector<ScriptedPop3Peer::Step> steps = LoginScript();
    steps.push_back(Expect("RETR 1"));
    steps.push_back(SendInPieces(reply, pieceSize));
    StartPeer(steps);
    LogIn();
    client_.SetMsgNum(1);
    EXPECT_EQ(Run([&] { client_.Retr(); }), 0);
    EXPECT_EQ(events_, expectedEvents);
    // OnResponse sees the lines as they came, the final "." included.
    EXPECT_EQ(responses_, (Events{"+OK", "..", "...", ".x", "..leading dot", "",
                                  "lone\rcr and lone\nlf", "\x93\xfa\x96\x7b\x8c\xea", "."}));
    ExpectPeerFinished();
    client_.Abort();
  }
}

TEST_F(Pop3ClientTest, StatusLineIsPositiveWhenItBeginsWithPlus) {
  const struct {
    std::string reply;
    uint16_t error;
  } cases[] = {{"+", 0}, {"+OK", 0}, {"+anything", 0}, {"", 500}, {"-ERR no", 500}, {"OK", 500}};
  std::vector<ScriptedPop3Peer::Step> steps = LoginScript();
  for (const auto& c : cases) {
    steps.push_back(Expect("NOOP"));
    steps.push_back(Send(c.reply + "\r\n"));
  }
  StartPeer(steps);
  LogIn();
  for (const auto& c : cases) {
    EXPECT_EQ(Run([&] { client_.Noop(); }), c.error) << '"' << c.reply << '"';
    EXPECT_EQ(client_.LastResponse(), c.reply);
    EXPECT_TRUE(client_.Connected());
  }
  // The empty line left nothing to keep, so the next error text is kept.
  EXPECT_EQ(client_.ErrorMessage(), "-ERR no");
  EXPECT_EQ(client_.ProtocolState(), pop3Transaction);
  ExpectPeerFinished();
}

TEST_F(Pop3ClientTest, ErrorMessageKeepsTheFirstServerError) {
  std::vector<ScriptedPop3Peer::Step> steps = LoginScript();
  steps.insert(steps.end(), {Expect("DELE 9"), Send("-ERR no such message\r\n"), Expect("RSET"),
                             Send("-ERR later error\r\n")});
  StartPeer(steps);
  LogIn();
  client_.SetMsgNum(9);
  EXPECT_EQ(Run([&] { client_.Dele(); }), 500);
  EXPECT_EQ(Run([&] { client_.RSet(); }), 500);
  EXPECT_EQ(client_.LastResponse(), "-ERR later error");
  EXPECT_EQ(client_.ErrorMessage(), "-ERR no such message");
  ExpectPeerFinished();
}

TEST_F(Pop3ClientTest, NegativeGreetingClosesTheSession) {
  // The line after the greeting is never looked at.
  StartPeer({Send("-ERR too busy\r\n+OK not this\r\n")});
  EXPECT_EQ(Run([&] { client_.Connect(); }), 10004);
  EXPECT_EQ(events_, (Events{"closed 0", "done Connect 10004"}));
  EXPECT_EQ(responses_, (Events{"-ERR too busy"}));
  EXPECT_EQ(client_.ErrorMessage(), "-ERR too busy");
  EXPECT_FALSE(client_.Connected());
  EXPECT_EQ(client_.ProtocolState(), pop3Disconnected);
  EXPECT_EQ(client_.State(), pop3Ready);
  EXPECT_TRUE(loop_.RunUntil([&] { return peer_->ClientClosed(); }, kTimeoutMs));
}

TEST_F(Pop3ClientTest, ServerCloseInTheMiddleOfRetr) {
  std::vector<ScriptedPop3Peer::Step> steps = LoginScript();
  steps.insert(steps.end(),
               {Expect("RETR 1"), Send("+OK\r\nfirst\r\nsecond\r\nhalf a li"), Close()});
  StartPeer(steps);
  LogIn();
  client_.SetMsgNum(1);
  EXPECT_EQ(Run([&] { client_.Retr(); }), 10004);
  // The lines that came are handed out, the message never ends.
  EXPECT_EQ(events_,
            (Events{"begin +OK", "line first", "line second", "closed 0", "done Retr 10004"}));
  EXPECT_EQ(client_.LastResponse(), "second");
  // Whoever shows the failure has a cause to name.
  EXPECT_EQ(client_.ErrorMessage(), "-ERR Connection closed by server");
  EXPECT_FALSE(client_.Connected());
  EXPECT_EQ(client_.ProtocolState(), pop3Disconnected);
}

TEST_F(Pop3ClientTest, CommandLinesAndTheValuesReadFromReplies) {
  std::vector<ScriptedPop3Peer::Step> steps = LoginScript();
  steps.insert(steps.end(),
               {
                   Expect("STAT"),    Send("+OK 5\r\n"),  // one number only
                   Expect("UIDL 3"),  Send("+OK 3 id with blanks\r\n"),
                   Expect("UIDL 4"),  Send("+OK 4\r\n"),  // no id
                   Expect("LIST 3"),  Send("+OK 3 1200\r\n"),
                   Expect("LAST"),    Send("+OK 7\r\n"),
                   Expect("UIDL"),    Send("+OK\r\n1 aaa\r\n2 b b\r\n.\r\n"),
                   Expect("LIST"),    Send("+OK 2 messages\r\n1 100\r\n2 2000\r\n.\r\n"),
                   Expect("TOP 0 0"), Send("+OK\r\n.\r\n"),
                   Expect("RETR -1"), Send("-ERR no such message\r\n"),
                   Expect("DELE 0"),  Send("-ERR no such message\r\n"),
               });
  StartPeer(steps);
  LogIn();
  EXPECT_EQ(Run([&] { client_.Stat(); }), 0);
  EXPECT_EQ(client_.MsgCount(), 0);
  EXPECT_EQ(client_.MsgSize(), 0);
  client_.SetMsgNum(3);
  EXPECT_EQ(Run([&] { client_.Uidl(); }), 0);
  EXPECT_EQ(client_.MsgNum(), 3);
  EXPECT_EQ(client_.MsgUidl(), "id");
  client_.SetMsgNum(4);
  EXPECT_EQ(Run([&] { client_.Uidl(); }), 0);
  EXPECT_EQ(client_.MsgUidl(), "");
  client_.SetMsgNum(3);
  EXPECT_EQ(Run([&] { client_.List(); }), 0);
  EXPECT_EQ(client_.MsgSize(), 1200);
  EXPECT_EQ(Run([&] { client_.Last(); }), 0);
  EXPECT_EQ(client_.MsgNum(), 7);
  EXPECT_EQ(client_.MsgSize(), 0);
  client_.SetMsgNum(0);
  EXPECT_EQ(Run([&] { client_.Uidl(); }), 0);
  client_.SetMsgNum(-3);
  EXPECT_EQ(Run([&] { client_.List(); }), 0);
  client_.SetMsgNum(0);
  client_.SetMsgLines(0);
  EXPECT_EQ(Run([&] { client_.Top(); }), 0);
  client_.SetMsgNum(-1);
  EXPECT_EQ(Run([&] { client_.Retr(); }), 500);
  client_.SetMsgNum(0);
  EXPECT_EQ(Run([&] { client_.Dele(); }), 500);
  ExpectPeerFinished();
  EXPECT_EQ(events_, (Events{"done Stat 0", "done Uidl 0", "done Uidl 0",   "done List 0",
                             "done Last 0", "uidl begin",  "uidl 1 aaa",    "uidl 2 b",
                             "uidl end",    "done Uidl 0", "list begin",    "list 1 100",
                             "list 2 2000", "list end",    "done List 0",   "begin +OK",
                             "end",         "done Top 0",  "done Retr 500", "done Dele 500"}));
}

TEST_F(Pop3ClientTest, RefusalsRaiseAtOnceWithTheirTexts) {
  // Not connected.
  EXPECT_THROW(
      {
        try {
          client_.Stat();
        } catch (const Pop3Exception& e) {
          EXPECT_STREQ(e.what(), "-ERR STAT command invalid now");
          throw;
        }
      },
      Pop3Exception);
  EXPECT_EQ(client_.ErrorMessage(), "-ERR STAT command invalid now");
  EXPECT_EQ(display_, (Events{"-ERR STAT command invalid now"}));

  const auto refusal = [](const std::function<void()>& operation) -> std::string {
    try {
      operation();
    } catch (const Pop3Exception& e) {
      return e.what();
    }
    return "(not refused)";
  };
  EXPECT_EQ(refusal([&] { client_.User(); }), "POP3 component not connected");
  EXPECT_EQ(refusal([&] { client_.APop(); }), "-ERR APOP command invalid now");
  client_.SetMsgLines(-1);
  EXPECT_EQ(refusal([&] { client_.Top(); }), "Invalid MsgLines for TOP command");
  EXPECT_EQ(client_.ErrorMessage(), "-ERR APOP command invalid now");  // Top left it alone

  // Connected, greeting without a timestamp.
  StartPeer(LoginScript());
  EXPECT_EQ(Run([&] { client_.Connect(); }), 0);
  EXPECT_EQ(refusal([&] { client_.APop(); }), "-ERR Server do not support APOP (no timestamp)");
  EXPECT_EQ(refusal([&] { client_.Connect(); }), "POP3 component already connected");
  EXPECT_EQ(refusal([&] { client_.Open(); }), "pop3 component already connected");
  client_.SetUserName("bob");
  client_.SetPassWord("secret");
  EXPECT_EQ(Run([&] {
              client_.User();
              // A request is outstanding.
              EXPECT_EQ(refusal([&] { client_.Connect(); }), "POP3 component not ready");
              EXPECT_EQ(refusal([&] { client_.Pass(); }), "POP3 component not ready");
            }),
            0);
  EXPECT_EQ(Run([&] { client_.Pass(); }), 0);
  EXPECT_EQ(refusal([&] { client_.User(); }), "-ERR USER command invalid now");
  EXPECT_EQ(client_.ErrorMessage(), "-ERR USER command invalid now");
  EXPECT_EQ(display_.back(), "-ERR USER command invalid now");
  ExpectPeerFinished();
}

TEST_F(Pop3ClientTest, QuitWhenNotConnectedCompletesFromTheLoop) {
  EXPECT_EQ(Run([&] { client_.Quit(); }), 0);
  EXPECT_EQ(events_, (Events{"done Quit 0"}));
}

TEST_F(Pop3ClientTest, QuitThatIsRefusedOrCutOffIsNotReportedAsDone) {
  std::vector<ScriptedPop3Peer::Step> steps = LoginScript();
  steps.insert(steps.end(),
               {Expect("QUIT"), Send("-ERR cannot commit\r\n"), Expect("QUIT"), Close()});
  StartPeer(steps);
  LogIn();
  // A negative reply fails at once and the session stays.
  EXPECT_EQ(Run([&] { client_.Quit(); }), 500);
  EXPECT_TRUE(client_.Connected());
  // A close without any reply fails too: nothing confirmed the QUIT.
  EXPECT_EQ(Run([&] { client_.Quit(); }), 10004);
  EXPECT_EQ(events_, (Events{"done Quit 500", "closed 0", "done Quit 10004"}));
  EXPECT_EQ(client_.State(), pop3Ready);
}

TEST_F(Pop3ClientTest, ApopSendsTheDigestOfTimestampAndPassword) {
  StartPeer({Send("+OK POP3 server ready <1896.697170952@dbc.mtview.ca.us>\r\n"),
             Expect("APOP mrose c4c9334bac560ecc979e58001b3e22fb"),
             Send("+OK maildrop has 1 message (369 octets)\r\n")});
  client_.SetUserName(" mrose ");
  client_.SetPassWord("tanstaaf");
  EXPECT_EQ(Run([&] { client_.Connect(); }), 0);
  EXPECT_EQ(Run([&] { client_.APop(); }), 0);
  EXPECT_EQ(client_.ProtocolState(), pop3Transaction);
  ExpectPeerFinished();
}

TEST_F(Pop3ClientTest, StateMovesThroughConnectAndACommand) {
  std::vector<std::string> states;
  client_.OnStateChange = [&](TCustomPop3Client& c) { states.push_back(ToString(c.State())); };
  StartPeer({Send(kGreeting), Expect("USER bob"), Send("+OK\r\n")});
  client_.SetUserName("bob");
  EXPECT_EQ(Run([&] { client_.Connect(); }), 0);
  EXPECT_EQ(Run([&] { client_.User(); }), 0);
  EXPECT_EQ(states, (Events{"pop3DnsLookup", "pop3Connecting", "pop3WaitingBanner", "pop3Connected",
                            "pop3Ready", "pop3WaitingResponse", "pop3Ready"}));
}

// A stale timestamp would send a digest the new server never asked for.
TEST_F(Pop3ClientTest, ApopTimestampBelongsToItsOwnSession) {
  StartPeer({Send("+OK <1.2@first>\r\n"), Close()});
  EXPECT_EQ(Run([&] { client_.Connect(); }), 0);
  EXPECT_TRUE(loop_.RunUntil([&] { return !client_.Connected(); }, kTimeoutMs));
  StartPeer({Send("+OK no timestamp here\r\n")});
  EXPECT_EQ(Run([&] { client_.Connect(); }), 0);
  EXPECT_THROW(client_.APop(), Pop3Exception);
  EXPECT_EQ(client_.ErrorMessage(), "-ERR Server do not support APOP (no timestamp)");
}

TEST_F(Pop3ClientTest, RequestDoneStillQueuedWhenTheClientGoesIsDropped) {
  bool delivered = false;
  auto client = std::make_unique<TPop3Client>(loop_);
  client->OnRequestDone = [&](TCustomPop3Client&, TPop3Request, uint16_t) { delivered = true; };
  client->Quit();
  client.reset();
  loop_.RunOnce(0);
  EXPECT_FALSE(delivered);
}

TEST_F(Pop3ClientTest, LongLinesAreWholeUpToTheCapAndFailPastIt) {
  const std::string longest(Pop3LineBuffer::kMaxLineLength, 'L');
  std::vector<ScriptedPop3Peer::Step> steps = LoginScript();
  steps.insert(steps.end(), {Expect("RETR 1"), Send("+OK\r\n" + longest + "\r\n.\r\n"),
                             Expect("NOOP"), Send("+OK " + longest + "\r\n")});
  StartPeer(steps);
  LogIn();
  size_t lineLength = 0;
  client_.OnMessageLine = [&](TCustomPop3Client& c) { lineLength = c.LastResponse().size(); };
  client_.SetMsgNum(1);
  EXPECT_EQ(Run([&] { client_.Retr(); }), 0);
  EXPECT_EQ(lineLength, longest.size());

  EXPECT_EQ(Run([&] { client_.Noop(); }), 500);
  EXPECT_EQ(client_.ErrorMessage(), "-ERR Line too long");
  EXPECT_FALSE(client_.Connected());
  EXPECT_EQ(client_.State(), pop3Ready);
  EXPECT_EQ(events_, (Events{"begin +OK", "end", "done Retr 0", "closed 0", "done Noop 500"}));
  EXPECT_EQ(display_.back(), "-ERR Line too long");
}

TEST_F(Pop3ClientTest, OpenRunsConnectUserPassAsOneRequest) {
  StartPeer(LoginScript());
  client_.SetUserName("bob");
  client_.SetPassWord("secret");
  EXPECT_EQ(Run([&] { client_.Open(); }), 0);
  EXPECT_EQ(events_, (Events{"connected 0", "done Open 0"}));
  EXPECT_EQ(client_.ProtocolState(), pop3Transaction);
  ExpectPeerFinished();
}

TEST_F(Pop3ClientTest, OpenStopsAtTheFirstFailingStep) {
  StartPeer({Send(kGreeting), Expect("USER bob"), Send("-ERR who?\r\n")});
  client_.SetUserName("bob");
  EXPECT_EQ(Run([&] { client_.Open(); }), 500);
  EXPECT_EQ(events_, (Events{"connected 0", "done Open 500"}));
  EXPECT_EQ(client_.ErrorMessage(), "-ERR who?");
  EXPECT_TRUE(client_.Connected());
  ExpectPeerFinished();
}

TEST_F(Pop3ClientTest, OpenStopsWhenTheServerClosesDuringAStep) {
  StartPeer({Send(kGreeting), Expect("USER bob"), Close()});
  client_.SetUserName("bob");
  EXPECT_EQ(Run([&] { client_.Open(); }), 10004);
  EXPECT_EQ(events_, (Events{"connected 0", "closed 0", "done Open 10004"}));
  EXPECT_EQ(client_.State(), pop3Ready);
}

TEST_F(Pop3ClientTest, AbortCompletesThePendingRequest) {
  std::vector<ScriptedPop3Peer::Step> steps = LoginScript();
  steps.push_back(Expect("STAT"));
  StartPeer(steps);
  LogIn();
  client_.Stat();
  EXPECT_TRUE(loop_.RunUntil([&] { return peer_->Finished(); }, kTimeoutMs));
  client_.Abort();
  EXPECT_EQ(client_.State(), pop3Ready);
  EXPECT_EQ(Run([] {}), 10004);
  EXPECT_EQ(events_, (Events{"closed 0", "done Stat 10004"}));
}

TEST_F(Pop3ClientTest, AbortInsideOpenReportsTheSequenceAborted) {
  StartPeer({Send(kGreeting), Expect("USER bob")});
  client_.SetUserName("bob");
  client_.Open();
  EXPECT_TRUE(loop_.RunUntil([&] { return peer_->Finished(); }, kTimeoutMs));
  client_.Abort();
  EXPECT_EQ(Run([] {}), 426);
  EXPECT_EQ(client_.ErrorMessage(), "426 Operation aborted.");
  EXPECT_EQ(events_, (Events{"connected 0", "closed 0", "done Open 426"}));
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

  client_.SetHost("127.0.0.1");
  client_.SetPort(std::to_string(ntohs(address.sin_port)));
  EXPECT_EQ(Run([&] { client_.Connect(); }), 10061);
  close(blocker);
  EXPECT_EQ(client_.LastResponse(), "-ERR Connection refused (Winsock error #10061)");
  EXPECT_EQ(client_.ErrorMessage(), client_.LastResponse());
  EXPECT_EQ(events_, (Events{"closed 0", "done Connect 10061"}));
  EXPECT_FALSE(client_.Connected());
  EXPECT_EQ(client_.State(), pop3Ready);

  events_.clear();
  client_.SetHost("no-such-host.invalid");
  EXPECT_EQ(Run([&] { client_.Connect(); }), 11001);
  EXPECT_EQ(client_.LastResponse(), "-ERR Host not found (Winsock error #11001)");
  EXPECT_EQ(events_, (Events{"done Connect 11001"}));

  // A port that cannot be resolved makes the connect fail to start.
  client_.SetHost("127.0.0.1");
  client_.SetPort("no-such-service");
  EXPECT_EQ(Run([&] { client_.Connect(); }), 500);
  EXPECT_EQ(client_.LastResponse().rfind("-ERR ESocketException: connect: ", 0), 0u)
      << client_.LastResponse();
  EXPECT_EQ(client_.State(), pop3Ready);

  // The socket refuses an empty host before anything starts: the error
  // passes on and the component stays usable.
  client_.SetHost("");
  EXPECT_THROW(client_.Connect(), ESocketException);
  EXPECT_EQ(client_.State(), pop3Ready);
  EXPECT_THROW(client_.Open(), ESocketException);
  EXPECT_EQ(client_.State(), pop3Ready);
  EXPECT_EQ(Run([&] { client_.Quit(); }), 0);
}

TEST_F(Pop3ClientTest, UnsolicitedLinesAreOnlyDisplayed) {
  StartPeer(
      {Send(std::string(kGreeting) + "* stray line\r\n"), Expect("USER bob"), Send("+OK\r\n")});
  client_.SetUserName("bob");
  EXPECT_EQ(Run([&] { client_.Connect(); }), 0);
  EXPECT_EQ(Run([&] { client_.User(); }), 0);
  EXPECT_EQ(display_, (Events{"< +OK ready", "< * stray line", "> USER bob", "< +OK"}));
  EXPECT_EQ(events_, (Events{"connected 0", "done Connect 0", "done User 0"}));
  ExpectPeerFinished();
}

// CAPA is allowed before the login and leaves the protocol state; its lines
// stay for the session, names upper-cased, and fire no message events.
TEST_F(Pop3ClientTest, CapaKeepsTheCapabilityLinesForTheSession) {
  StartPeer({Send(kGreeting), Expect("CAPA"),
             Send("+OK list follows\r\ntop\r\nSasl PLAIN login\r\n..dot\r\nUIDL\r\n.\r\n"),
             Expect("USER bob"), Send("+OK\r\n"), Expect("CAPA"), Send("-ERR not now\r\n"),
             Expect("CAPA"), Send("+OK\r\nPIPELINING\r\n.\r\n"), Expect("QUIT"),
             Send("+OK bye\r\n"), Close()});
  client_.SetUserName("bob");
  EXPECT_EQ(Run([&] { client_.Connect(); }), 0);
  EXPECT_EQ(Run([&] { client_.Capa(); }), 0);
  EXPECT_EQ(client_.Capabilities(),
            (std::vector<std::string>{"TOP", "SASL PLAIN login", ".DOT", "UIDL"}));
  EXPECT_TRUE(client_.HasCapability("top"));
  EXPECT_TRUE(client_.HasCapability("SASL"));
  EXPECT_FALSE(client_.HasCapability("PLAIN"));
  EXPECT_FALSE(client_.HasCapability("TO"));
  EXPECT_EQ(client_.ProtocolState(), pop3WaitingUser);
  EXPECT_EQ(Run([&] { client_.User(); }), 0);
  EXPECT_EQ(client_.ProtocolState(), pop3WaitingPass);

  // A server that refuses leaves nothing of an earlier answer.
  EXPECT_EQ(Run([&] { client_.Capa(); }), 500);
  EXPECT_TRUE(client_.Capabilities().empty());
  EXPECT_EQ(client_.ErrorMessage(), "-ERR not now");
  EXPECT_EQ(client_.ProtocolState(), pop3WaitingPass);

  EXPECT_EQ(Run([&] { client_.Capa(); }), 0);
  EXPECT_TRUE(client_.HasCapability("pipelining"));
  EXPECT_EQ(Run([&] { client_.Quit(); }), 0);
  EXPECT_TRUE(client_.Capabilities().empty());
  EXPECT_EQ(events_, (Events{"connected 0", "done Connect 0", "done Capa 0", "done User 0",
                             "done Capa 500", "done Capa 0", "closed 0", "done Quit 0"}));
  ExpectPeerFinished();
}

// Logs in and asks CAPA, which the peer answers with `capabilities`; then
// the peer plays `rest`.
std::vector<ScriptedPop3Peer::Step> WithCapabilities(const std::string& capabilities,
                                                     std::vector<ScriptedPop3Peer::Step> rest) {
  std::vector<ScriptedPop3Peer::Step> steps = {
      Send(kGreeting),    Expect("USER bob"), Send("+OK\r\n"),
      Expect("PASS secret"), Send("+OK\r\n"),  Expect("CAPA"),
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
      {Expect("RETR 1"), Expect("TOP 2 0"), Expect("DELE 1"), Expect("NOOP"),
       Send("+OK\r\nfirst\r\n.\r\n+OK\r\nsecond\r\n.\r\n-ERR no such message\r\n+OK\r\n"),
       Expect("QUIT"), Send("+OK bye\r\n"), Close()}));
  client_.SetUserName("bob");
  client_.SetPassWord("secret");
  ASSERT_EQ(Run([&] { client_.Open(); }), 0);
  ASSERT_EQ(Run([&] { client_.Capa(); }), 0);
  events_.clear();

  client_.SetMsgNum(1);
  client_.Retr();
  ASSERT_TRUE(client_.ReadyForCommand());
  client_.SetMsgNum(2);
  client_.SetMsgLines(0);
  client_.Top();
  client_.SetMsgNum(1);
  client_.Dele();
  client_.Noop();
  EXPECT_EQ(client_.State(), pop3WaitingResponse);
  ASSERT_TRUE(loop_.RunUntil([&] { return doneCount_ == 6; }, kTimeoutMs));

  EXPECT_EQ(events_, (Events{"begin +OK", "line first", "end", "done Retr 0", "begin +OK",
                             "line second", "end", "done Top 0", "done Dele 500", "done Noop 0"}));
  EXPECT_EQ(client_.State(), pop3Ready);
  EXPECT_EQ(Run([&] { client_.Quit(); }), 0);
  ExpectPeerFinished();
}

// Without PIPELINING in CAPA one request at a time, as before; with it, no
// more than the window: the next command is refused until a reply is in.
TEST_F(Pop3ClientTest, RequestsOutAreBoundedByWhatTheServerOffers) {
  const struct {
    const char* capabilities;
    size_t mayBeOut;
  } cases[] = {{"TOP\r\n", 1}, {"TOP\r\nPIPELINING\r\n", TCustomPop3Client::kPipelineDepth}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.capabilities);
    std::vector<ScriptedPop3Peer::Step> rest(c.mayBeOut, Expect("NOOP"));
    rest.push_back(Send([&] {
      std::string replies;
      for (size_t i = 0; i < c.mayBeOut; ++i) replies += "+OK\r\n";
      return replies;
    }()));
    StartPeer(WithCapabilities(c.capabilities, rest));
    client_.SetUserName("bob");
    client_.SetPassWord("secret");
    ASSERT_EQ(Run([&] { client_.Open(); }), 0);
    ASSERT_EQ(Run([&] { client_.Capa(); }), 0);
    const int before = doneCount_;

    for (size_t i = 0; i < c.mayBeOut; ++i) client_.Noop();
    EXPECT_FALSE(client_.ReadyForCommand());
    EXPECT_THROW(client_.Noop(), Pop3Exception);
    ASSERT_TRUE(loop_.RunUntil(
        [&] { return doneCount_ == before + static_cast<int>(c.mayBeOut); }, kTimeoutMs));
    EXPECT_TRUE(client_.ReadyForCommand());
    ExpectPeerFinished();
    client_.Abort();
    ASSERT_TRUE(loop_.RunUntil([&] { return !client_.Connected(); }, kTimeoutMs));
  }
}

// A session that ends with requests out completes the one being answered;
// those behind it went with the session.
TEST_F(Pop3ClientTest, ServerCloseWithPipelinedRequestsOutReportsOnlyTheOneAnswered) {
  StartPeer(WithCapabilities("PIPELINING\r\n", {Expect("STAT"), Expect("NOOP"), Expect("NOOP"),
                                                   Send("+OK 0 0\r\n"), Close()}));
  client_.SetUserName("bob");
  client_.SetPassWord("secret");
  ASSERT_EQ(Run([&] { client_.Open(); }), 0);
  ASSERT_EQ(Run([&] { client_.Capa(); }), 0);
  events_.clear();

  client_.Stat();
  client_.Noop();
  client_.Noop();
  ASSERT_TRUE(loop_.RunUntil([&] { return !client_.Connected(); }, kTimeoutMs));
  loop_.RunUntil([] { return false; }, 50);

  EXPECT_EQ(events_, (Events{"done Stat 0", "closed 0", "done Noop 10004"}));
  EXPECT_EQ(client_.State(), pop3Ready);
  EXPECT_TRUE(client_.ReadyForCommand());
}

TEST_F(Pop3ClientTest, CapaIsRefusedWithoutAGreeting) {
  EXPECT_THROW(client_.Capa(), Pop3Exception);
  EXPECT_EQ(client_.ErrorMessage(), "-ERR CAPA command invalid now");
}

// ---- Security and time-outs (the TLS sessions themselves: against Dovecot) ----

TEST_F(Pop3ClientTest, StartTlsWithoutStlsOnOfferEndsWithoutASecretSent) {
  // Anything the client sent after CAPA would be a problem of the script.
  StartPeer({Send(kGreeting), Expect("CAPA"), Send("+OK\r\nUIDL\r\nUSER\r\n.\r\n")});
  client_.SetSecurity(secStartTls);
  client_.SetUserName("bob");
  client_.SetPassWord("secret");
  EXPECT_EQ(Run([&] { client_.Open(); }), 500);
  EXPECT_EQ(client_.ErrorMessage(), "-ERR STARTTLS: the server does not offer STLS");
  EXPECT_FALSE(client_.Connected());
  EXPECT_TRUE(loop_.RunUntil([&] { return peer_->ClientClosed(); }, kTimeoutMs));
  EXPECT_EQ(peer_->Problems(), "");
}

TEST_F(Pop3ClientTest, StartTlsRefusedByTheServerLeavesTheLoginRefused) {
  StartPeer({Send(kGreeting), Expect("CAPA"), Send("+OK\r\nSTLS\r\n.\r\n"), Expect("STLS"),
             Send("-ERR not today\r\n")});
  client_.SetSecurity(secStartTls);
  client_.SetUserName("bob");
  EXPECT_EQ(Run([&] { client_.Connect(); }), 500);
  EXPECT_EQ(client_.ErrorMessage(), "-ERR not today");
  EXPECT_FALSE(client_.Encrypted());
  for (const auto& login :
       {&TCustomPop3Client::User, &TCustomPop3Client::Pass, &TCustomPop3Client::RPop}) {
    EXPECT_THROW((client_.*login)(), Pop3Exception);
  }
  EXPECT_EQ(client_.ErrorMessage(), "-ERR RPOP refused: the connection is not encrypted");
  ExpectPeerFinished();
}

// A server that does not speak TLS ends the handshake at once, whether it
// talks POP3 in the clear or closes, with the cause in ErrorMessage.
TEST_F(Pop3ClientTest, TlsAgainstAServerThatDoesNotSpeakItFailsAtOnce) {
  const struct {
    const char* peer;
    std::vector<ScriptedPop3Peer::Step> script;
    uint16_t error;
    const char* text;  // the start of ErrorMessage
  } cases[] = {
      {"plain POP3", {Send(kGreeting)}, 500, "-ERR TLS handshake failed: "},
      {"closes", {Close()}, 10004, "-ERR TLS handshake failed: the server closed the connection"},
  };
  client_.SetSecurity(secTls);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.peer);
    StartPeer(c.script);
    EXPECT_EQ(Run([&] { client_.Connect(); }), c.error);
    EXPECT_EQ(client_.ErrorMessage().rfind(c.text, 0), 0u) << client_.ErrorMessage();
    EXPECT_GT(client_.ErrorMessage().size(), std::string("-ERR TLS handshake failed: ").size());
    EXPECT_FALSE(client_.Connected());
    EXPECT_FALSE(client_.UntrustedCertificate());
  }
}

// Each wait on a silent server ends after Timeout with the socket time-out,
// the session aborted, and the client free for the next session.
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
    std::function<void(TCustomPop3Client&)> request;
  } cases[] = {
      {"greeting", {}, false, [](TCustomPop3Client& c) { c.Connect(); }},
      {"reply", withLogin({Expect("STAT")}), true, [](TCustomPop3Client& c) { c.Stat(); }},
      {"rest of RETR", withLogin({Expect("RETR 1"), Send("+OK\r\nfirst line\r\n")}), true,
       [](TCustomPop3Client& c) { c.Retr(); }},
      {"close after QUIT", withLogin({Expect("QUIT"), Send("+OK bye\r\n")}), true,
       [](TCustomPop3Client& c) { c.Quit(); }},
  };
  client_.SetTimeout(1);
  client_.SetMsgNum(1);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.wait);
    StartPeer(c.script);
    if (c.logIn) LogIn();
    EXPECT_EQ(Run([&] { c.request(client_); }), 10060);
    EXPECT_EQ(client_.ErrorMessage(), "-ERR Connection timed out (Winsock error #10060)");
    EXPECT_FALSE(client_.Connected());
    EXPECT_EQ(client_.State(), pop3Ready);
  }
  StartPeer(LoginScript());
  LogIn();
}

}  // namespace
}  // namespace vexalo
