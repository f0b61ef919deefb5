// Receive throughput of the socket transport on its poll loop, against plain
// blocking recv() calls reading the same stream in the same run. Both read
// in the 4095-byte pieces the POP3 client asks for; the sender is a thread
// writing a fixed amount over 127.0.0.1 and closing.

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <thread>

#include "pop3/AsyncSocket.h"
#include "pop3/PollEventLoop.h"

namespace vexalo {
namespace {

constexpr std::size_t kStreamBytes = std::size_t{8} * 1024 * 1024;
constexpr int kPieceBytes = 4095;

// A listener on 127.0.0.1 whose thread sends kStreamBytes to the first
// client and hangs up.
class StreamingPeer {
 public:
  StreamingPeer() {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), size) < 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) < 0 ||
        listen(listener_, 1) < 0) {
      throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
    sender_ = std::thread([this] {
      const int client = accept(listener_, nullptr, nullptr);
      if (client < 0) return;
      const std::string chunk(65536, 'x');
      for (std::size_t sent = 0; sent < kStreamBytes;) {
        const ssize_t n = send(client, chunk.data(), chunk.size(), MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
      }
      close(client);
    });
  }
  ~StreamingPeer() {
    sender_.join();
    close(listener_);
  }
  int Port() const { return port_; }

 private:
  int listener_ = -1;
  int port_ = 0;
  std::thread sender_;
};

void BM_AsyncSocketReceive(benchmark::State& state) {
  PollEventLoop loop;
  char buffer[kPieceBytes];
  for (auto _ : state) {
    StreamingPeer peer;
    TAsyncSocket socket(loop);
    std::size_t received = 0;
    bool closed = false;
    socket.OnDataAvailable = [&](TAsyncSocket& sender, std::uint16_t) {
      const std::int32_t got = sender.Receive(buffer, kPieceBytes);
      if (got > 0) received += static_cast<std::size_t>(got);
    };
    socket.OnSessionClosed = [&](TAsyncSocket&, std::uint16_t) { closed = true; };
    socket.SetAddr("127.0.0.1");
    socket.SetPort(std::to_string(peer.Port()));
    socket.Connect();
    if (!loop.RunUntil([&] { return closed; }, 60000) || received != kStreamBytes) {
      state.SkipWithError("stream incomplete");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kStreamBytes));
}
BENCHMARK(BM_AsyncSocketReceive)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_BlockingRecv(benchmark::State& state) {
  char buffer[kPieceBytes];
  for (auto _ : state) {
    StreamingPeer peer;
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(peer.Port()));
    std::size_t received = 0;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
      ssize_t got = 0;
      while ((got = recv(fd, buffer, kPieceBytes, 0)) > 0)
        received += static_cast<std::size_t>(got);
    }
    close(fd);
    if (received != kStreamBytes) {
      state.SkipWithError("stream incomplete");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kStreamBytes));
}
BENCHMARK(BM_BlockingRecv)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace vexalo
