// Walks a POP3 mailbox the way a processing run takes a mailbox of new
// orders, for timing the client against other clients: USER, PASS, CAPA,
// STAT, the UIDL listing, RETR n for every message, and QUIT. Each request
// starts from the completion of the one before, on a PollEventLoop, as the
// program chains them; the RETRs go out as far ahead as the client allows
// (pipelining when CAPA offers it).
//
//   pop3_walk HOST PORT USER PASSWORD [SECURITY]
//
// SECURITY as in the settings: 0 plain (the default), 1 TLS from the first
// byte, 2 STARTTLS; the certificate is checked against OpenSSL's default
// store (SSL_CERT_FILE).
//
// Prints the number of messages and the octets received; exits 1 with the
// reply's text when a request fails.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "pop3/PollEventLoop.h"
#include "pop3/Pop3Client.h"
#include "pop3/Pop3ReplyParsers.h"

namespace vexalo {
namespace {

constexpr int kTimeoutMs = 30 * 60 * 1000;

class MailboxWalk {
 public:
  MailboxWalk(EventLoop& loop, Pop3Endpoint endpoint, std::string user, std::string password)
      : client_(loop),
        endpoint_(std::move(endpoint)),
        user_(std::move(user)),
        password_(std::move(password)) {}

  void Start() {
    client_.Connect(endpoint_, Then([this] {
                      client_.User(user_, Then([this] {
                                     client_.Pass(password_, Then([this] { AskCapabilities(); }));
                                   }));
                    }));
  }
  bool Finished() const { return finished_; }
  bool Failed() const { return !errorText_.empty(); }
  int32_t Messages() const { return count_; }
  uint64_t Octets() const { return octets_; }
  const std::string& ErrorText() const { return errorText_; }

 private:
  // A completion that goes on with `next` on success and ends the walk
  // otherwise.
  TPop3Client::Completion Then(std::function<void()> next) {
    return [this, next = std::move(next)](Pop3Reply& reply) {
      if (reply.Ok()) {
        next();
      } else {
        Fail(reply);
      }
    };
  }

  void Fail(const Pop3Reply& reply) {
    errorText_ = reply.text.empty() ? "failed" : reply.text;
    finished_ = true;
    client_.Abort();
  }

  // A server without CAPA is one that does not pipeline.
  void AskCapabilities() {
    client_.Capa([this](Pop3Reply&) {
      client_.Stat([this](Pop3Reply& stat) {
        if (!stat.Ok()) return Fail(stat);
        count_ = ParseTwoNumbers(stat.text).first;
        client_.Uidl(Then([this] { RetrieveMore(); }));
      });
    });
  }

  // As many RETRs out at once as the client takes; QUIT after the last reply.
  void RetrieveMore() {
    while (requested_ < count_ && client_.ReadyForCommand()) {
      client_.Retr(
          ++requested_, [this](std::string_view line) { octets_ += line.size() + 2; }, Then([this] {
            if (++retrieved_ == count_) {
              client_.Quit([this](Pop3Reply&) { finished_ = true; });
            } else {
              RetrieveMore();
            }
          }));
    }
    if (count_ == 0) client_.Quit([this](Pop3Reply&) { finished_ = true; });
  }

  TPop3Client client_;
  const Pop3Endpoint endpoint_;
  const std::string user_;
  const std::string password_;
  int32_t count_ = 0;
  int32_t requested_ = 0;
  int32_t retrieved_ = 0;
  uint64_t octets_ = 0;
  bool finished_ = false;
  std::string errorText_;
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
  vexalo::Pop3Endpoint endpoint;
  endpoint.host = argv[1];
  endpoint.port = argv[2];
  endpoint.security = static_cast<vexalo::TPop3Security>(security[0] - '0');
  endpoint.timeoutSeconds = vexalo::Pop3Endpoint::kMaxTimeoutSeconds;
  vexalo::MailboxWalk walk(loop, endpoint, argv[3], argv[4]);
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
