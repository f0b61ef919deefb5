// A whole processing run against a server that says whatever the input says:
// a peer on 127.0.0.1 sends the input as the server's side of the session
// (greeting, replies, message lines: answered in order, the client reads
// them as a server that pipelines everything), then ends the stream. The
// run must end by itself, never crash, and leave AllData.csv a file of
// whole lines.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "jconv/JisConv.h"
#include "pop3/PollEventLoop.h"
#include "pop3/Pop3Client.h"
#include "run/ProcessingRun.h"
#include "settings/SettingsFields.h"
#include "table/DataFiles.h"
#include "table/DataTable.h"

namespace {

using namespace vexalo;

class SilentReporter final : public RunReporter {
 public:
  void ShowStatus(const std::string&) override {}
  void ShowMessage(const std::string&) override {}
  void OpenSettings() override {}
  void TableChanged() override {}
  void RunEnded(RunOutcome) override {}
  bool TrustCertificate(const CertificateQuestion&) override { return false; }
};

// One listening socket for every input; each run's connection gets the
// input's bytes, then the end of the stream, and what the client sends is
// read and dropped so that the close is an orderly one.
class ServerSide {
 public:
  ServerSide() {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(listener_, 4) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      __builtin_trap();
    }
    port_ = std::to_string(ntohs(address.sin_port));
  }

  const std::string& Port() const { return port_; }

  void Serve(EventLoop& loop, std::string_view bytes) {
    toSend_ = bytes;
    loop.Watch(listener_, true, false, [this, &loop](bool, bool) {
      const int connection = accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK);
      if (connection < 0) return;
      loop.Unwatch(listener_);
      connection_ = connection;
      loop.Watch(connection_, true, true,
                 [this, &loop](bool readable, bool writable) { Pump(loop, readable, writable); });
    });
  }

  void Finish(EventLoop& loop) {
    loop.Unwatch(listener_);
    if (connection_ >= 0) {
      loop.Unwatch(connection_);
      close(connection_);
      connection_ = -1;
    }
  }

 private:
  void Pump(EventLoop& loop, bool readable, bool writable) {
    if (readable) {
      char sink[4096];
      const ssize_t got = read(connection_, sink, sizeof sink);
      if (got == 0) {
        Finish(loop);
        return;
      }
    }
    if (writable && !toSend_.empty()) {
      const ssize_t sent = send(connection_, toSend_.data(), toSend_.size(), MSG_NOSIGNAL);
      if (sent > 0) toSend_.remove_prefix(static_cast<size_t>(sent));
      if (toSend_.empty()) {
        shutdown(connection_, SHUT_WR);
        loop.Watch(connection_, true, false, [this, &loop](bool r, bool w) { Pump(loop, r, w); });
      }
    }
  }

  int listener_ = -1;
  int connection_ = -1;
  std::string port_;
  std::string_view toSend_;
};

// Every line of a file this program appends ends in CR LF.
bool HoldsWholeLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return bytes.empty() || bytes.ends_with("\r\n");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static ServerSide server;
  static const std::filesystem::path folder = [] {
    char pattern[] = "/tmp/vexalo-run-fuzz-XXXXXX";
    return std::filesystem::path(mkdtemp(pattern));
  }();
  for (const char* name : {kAllDataFileName, kFirstRowFileName, kUnpickedFileName}) {
    std::filesystem::remove(folder / name);
  }

  PollEventLoop loop;
  DataTable table;
  PlainSettingsFields fields;
  fields.host = "127.0.0.1";
  fields.port = server.Port();
  fields.userName = "user";
  fields.passWord = "secret";
  fields.headerToken = "X-VEXALO: default";
  fields.splitToken = ":";
  fields.deleteAfterReading = true;
  fields.timeout = "2";
  TPop3Client client(loop);
  TJisConv jisConv;
  SilentReporter reporter;
  TProcessingRun run(
      table, fields, client, jisConv,
      DataFilePaths{(folder / kAllDataFileName).string(), (folder / kFirstRowFileName).string(),
                    (folder / kUnpickedFileName).string()},
      reporter, [] { return std::string("2024/07/01 9:05:00"); });

  server.Serve(loop, std::string_view(reinterpret_cast<const char*>(data), size));
  run.MenuProcessClick();
  const bool ended = loop.RunUntil([&] { return !run.IsBusy(); }, 10000);
  server.Finish(loop);
  if (!ended) __builtin_trap();
  if (!HoldsWholeLines((folder / kAllDataFileName).string())) __builtin_trap();
  return 0;
}
