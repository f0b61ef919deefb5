// vexalo-test-dovecot: a private POP3 server on 127.0.0.1 for benchmark
// scripts. Prints three lines once the server answers (the plain port, the
// POP3S port, the test authority's certificate file that clients must trust),
// then serves until it is sent SIGTERM, SIGINT or SIGHUP, or until its
// lifetime is over, and stops.

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#include "DovecotServer.h"
#include "LoopbackLineClient.h"

namespace {

constexpr std::size_t kMaxStatLine = 100;
constexpr auto kWarmUpTimeout = std::chrono::minutes(10);

struct Arguments {
  std::filesystem::path maildir;
  long lifetimeSeconds = 3600;
  std::string introspectionUrl;  // empty: password logins only
};

void PrintUsage(std::ostream& out) {
  out << "usage: vexalo-test-dovecot [--maildir DIR] [--lifetime SECONDS] [--introspection URL]\n"
         "Starts a private POP3 server on 127.0.0.1 serving DIR (or an empty mailbox),\n"
         "logs in once so the server has indexed the mailbox, prints the plain port,\n"
         "the POP3S port and the CA file to trust on three lines and serves until\n"
         "SIGTERM, SIGINT, SIGHUP or the end of its lifetime (default 3600 s).\n"
         "With --introspection it offers XOAUTH2 and OAUTHBEARER too, asking URL\n"
         "(RFC 7662) whether a bearer token is good.\n"
         "User \""
      << vexalo::DovecotServer::kUser << "\", password \"" << vexalo::DovecotServer::kPassword
      << "\" (USER/PASS or APOP).\n";
}

std::optional<Arguments> ParseArguments(int argc, char** argv) {
  Arguments arguments;
  for (int i = 1; i < argc; ++i) {
    const std::string_view option = argv[i];
    if (i + 1 >= argc) return std::nullopt;
    const char* value = argv[++i];
    if (option == "--maildir") {
      arguments.maildir = value;
    } else if (option == "--introspection") {
      arguments.introspectionUrl = value;
    } else if (option == "--lifetime") {
      char* end = nullptr;
      arguments.lifetimeSeconds = std::strtol(value, &end, 10);
      if (*end != '\0' || arguments.lifetimeSeconds <= 0) return std::nullopt;
    } else {
      return std::nullopt;
    }
  }
  return arguments;
}

// The first session of a mailbox makes the server read every message to
// learn its size; a benchmark should not pay for that.
void WarmUp(const vexalo::DovecotServer& server) {
  vexalo::LoopbackLineClient session(server.Port(), kWarmUpTimeout);
  const auto expectOk = [](const std::string& reply) {
    if (!reply.starts_with("+OK")) throw std::runtime_error("warm-up refused: " + reply);
  };
  expectOk(session.ReadLine());
  expectOk(session.Command("USER " + server.User()));
  expectOk(session.Command("PASS " + server.Password()));
  const std::string stat = session.Command("STAT");
  expectOk(stat);
  if (stat.size() > kMaxStatLine) throw std::runtime_error("odd STAT answer");
  expectOk(session.Command("QUIT"));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string_view(argv[1]) == "--help") {
    PrintUsage(std::cout);
    return 0;
  }
  const auto arguments = ParseArguments(argc, argv);
  if (!arguments) {
    PrintUsage(std::cerr);
    return 2;
  }

  // Blocked before the server starts, so a stop request that comes early is
  // kept for sigtimedwait (the server's process unblocks them for itself).
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&stopSignals, signal);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  try {
    const vexalo::DovecotServer server(arguments->maildir, vexalo::TestCertificates::kLoopbackNames,
                                       {arguments->introspectionUrl});
    WarmUp(server);
    // One write, so a script that sees the first line sees all three.
    std::cout << server.Port() << '\n'
              << server.TlsPort() << '\n'
              << server.CaFile().string() << std::endl;
    const timespec lifetime{arguments->lifetimeSeconds, 0};
    sigtimedwait(&stopSignals, nullptr, &lifetime);
  } catch (const std::exception& error) {
    std::cerr << "vexalo-test-dovecot: " << error.what() << '\n';
    return 1;
  }
  return 0;
}
