// The floor under any client's first poll: logs in with USER/PASS, sends RETR
// for every message and QUIT at once over one connection, and throws away
// what comes back, only counting the replies. No parsing, no storing: what is
// left is the server's own work and the bytes on the wire.
//
//   pop3_floor PORT USER PASSWORD COUNT
//
// Exits 1 unless COUNT whole messages came back.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

constexpr std::string_view kTerminator = "\r\n.\r\n";

// One reply line of the login, read a byte at a time (nothing follows it yet).
bool ReadOk(int fd) {
  std::string line;
  char byte = 0;
  while (!line.ends_with("\r\n")) {
    if (::read(fd, &byte, 1) != 1) return false;
    line += byte;
  }
  return line.starts_with("+OK");
}

bool SendAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(sent));
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fputs("usage: pop3_floor PORT USER PASSWORD COUNT\n", stderr);
    return 2;
  }
  const long count = std::atol(argv[4]);
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(std::atoi(argv[1])));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || !ReadOk(fd) ||
      !SendAll(fd, std::string("USER ") + argv[2] + "\r\n") || !ReadOk(fd) ||
      !SendAll(fd, std::string("PASS ") + argv[3] + "\r\n") || !ReadOk(fd)) {
    std::fputs("pop3_floor: login failed\n", stderr);
    return 1;
  }
  std::string requests;
  for (long n = 1; n <= count; ++n) requests += "RETR " + std::to_string(n) + "\r\n";
  requests += "QUIT\r\n";
  // Sent beside the reading: a server whose replies fill the socket stops
  // reading commands until someone reads them.
  std::thread sender([&] { SendAll(fd, requests); });
  std::vector<char> buffer(size_t{1} << 16);
  long ends = 0;
  std::string carry;  // the last bytes before, so a terminator cut in two counts
  for (ssize_t got; (got = ::read(fd, buffer.data(), buffer.size())) > 0;) {
    const std::string_view chunk(buffer.data(), static_cast<size_t>(got));
    std::string joined = carry;
    joined.append(chunk.substr(0, std::min<size_t>(chunk.size(), kTerminator.size() - 1)));
    for (size_t at = joined.find(kTerminator); at != std::string::npos;
         at = joined.find(kTerminator, at + 1)) {
      if (at < carry.size()) ++ends;  // starts in the carry, so not found in the chunk
    }
    for (size_t at = chunk.find(kTerminator); at != std::string_view::npos;
         at = chunk.find(kTerminator, at + 1)) {
      ++ends;
    }
    const size_t keep = std::min<size_t>(chunk.size(), kTerminator.size() - 1);
    carry.assign(chunk.substr(chunk.size() - keep));
  }
  sender.join();
  ::close(fd);
  if (ends != count) {
    std::fprintf(stderr, "pop3_floor: %ld of %ld messages came back\n", ends, count);
    return 1;
  }
  return 0;
}
