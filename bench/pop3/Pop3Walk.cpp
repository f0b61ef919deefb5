// Walks a POP3 mailbox the way a processing run takes a mailbox of new
// orders, for timing the client against other clients: USER, PASS, CAPA,
// STAT, the UIDL listing, RETR n for every message, and QUIT. Requests start
// from OnRequestDone, on a PollEventLoop, as the program chains them; the
// RETRs go out as far ahead as the client allows (pipelining when CAPA
// offers it).
//
//   pop3_walk HOST PORT USER PASSWORD [SECURITY]
//
// SECURITY as in the settings: 0 plain (the default), 1 TLS from the first
// byte, 2 STARTTLS; the certificate is checked against OpenSSL's default
// store (SSL_CERT_FILE).
//
// Prints the number of messages and the octets received; exits 1 with the
// client's error text when a request fails.

#include <cstdint>
#include <cstdio>
#include <string>

#include "pop3/PollEventLoop.h"
#include "pop3/Pop3Client.h"

namespace vexalo {
namespace {

constexpr int kTimeoutMs = 30 * 60 * 1000;

class MailboxWalk {
 public:
  MailboxWalk(EventLoop& loop, const char* host, const char* port, const char* user,
              const char* password, TPop3Security security)
      : client_(loop) {
    client_.SetSecurity(security);
    client_.SetHost(host);
    client_.SetPort(port);
    client_.SetUserName(user);
    client_.SetPassWord(password);
    client_.OnRequestDone = [this](TCustomPop3Client&, TPop3Request request, uint16_t error) {
      Next(request, error);
    };
    client_.OnMessageLine = [this](TCustomPop3Client& c) {
      octets_ += c.LastResponse().size() + 2;
    };
  }

  void Start() { client_.Connect(); }
  bool Finished() const { return finished_; }
  bool Failed() const { return failed_; }
  int32_t Messages() const { return client_.MsgCount(); }
  uint64_t Octets() const { return octets_; }
  const std::string& ErrorText() const { return client_.ErrorMessage(); }

 private:
  // Connect -> User -> Pass -> Capa -> Stat -> Uidl (the listing) -> Retr
  // 1..count, as many out at once as the client takes -> Quit.
  void Next(TPop3Request request, uint16_t error) {
    // A server without CAPA is one that does not pipeline.
    if (error != 0 && request != pop3Capa) {
      failed_ = finished_ = true;
      return;
    }
    switch (request) {
      case pop3Connect:
        client_.User();
        return;
      case pop3User:
        client_.Pass();
        return;
      case pop3Pass:
        client_.Capa();
        return;
      case pop3Capa:
        client_.Stat();
        return;
      case pop3Stat:
        client_.SetMsgNum(0);
        client_.Uidl();
        return;
      case pop3Retr:
        ++retrieved_;
        [[fallthrough]];
      case pop3Uidl:
        while (requested_ < client_.MsgCount() && client_.ReadyForCommand()) {
          client_.SetMsgNum(++requested_);
          client_.Retr();
        }
        if (retrieved_ == client_.MsgCount()) client_.Quit();
        return;
      default:
        finished_ = true;
        return;
    }
  }

  TPop3Client client_;
  int32_t requested_ = 0;
  int32_t retrieved_ = 0;
  uint64_t octets_ = 0;
  bool finished_ = false;
  bool failed_ = false;
};

}  // namespace
}  // namespace vexalo

int main(int argc, char** argv) {
  const std::string security = argc == 6 ? argv[5] : "0";
  if ((argc != 5 && argc != 6) || (security != "0" && security != "1" && security != "2")) {
    std::fprintf(stderr, "usage: pop3_walk HOST PORT USER PASSWORD [0|1|2]\n");
    return 2;
  }
  vexalo::PollEventLoop loop;
  vexalo::MailboxWalk walk(loop, argv[1], argv[2], argv[3], argv[4],
                           static_cast<vexalo::TPop3Security>(security[0] - '0'));
  walk.Start();
  if (!loop.RunUntil([&] { return walk.Finished(); }, vexalo::kTimeoutMs)) {
    std::fprintf(stderr, "pop3_walk: timed out\n");
    return 1;
  }
  if (walk.Failed()) {
    std::fprintf(stderr, "pop3_walk: %s\n", walk.ErrorText().c_str());
    return 1;
  }
  std::printf("%d messages, %llu octets\n", walk.Messages(),
              static_cast<unsigned long long>(walk.Octets()));
  return 0;
}
