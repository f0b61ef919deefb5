#include "auth/LoopbackRedirect.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace vexalo {
namespace {

constexpr size_t kMaxRequestBytes = 16 * 1024;
constexpr int kPollStepMs = 200;
// A browser that connects but sends nothing must not hold the wait.
constexpr int kRequestReadMs = 5000;

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int Get() const { return fd_; }

 private:
  int fd_;
};

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecoded(std::string_view text) {
  std::string decoded;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      decoded += ' ';
    } else if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
               HexValue(text[i + 2]) >= 0) {
      decoded += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      decoded += text[i];
    }
  }
  return decoded;
}

std::string HtmlEscaped(std::string_view text) {
  std::string escaped;
  for (const char c : text) {
    switch (c) {
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '&':
        escaped += "&amp;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      default:
        escaped += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
    }
  }
  return escaped;
}

void SendAll(int fd, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // the browser went; nothing to tell it
    sent += static_cast<size_t>(n);
  }
}

void Answer(int fd, const char* status, const std::string& text) {
  const std::string body =
      "<!DOCTYPE html>\n<html lang=\"ja\"><head><meta charset=\"utf-8\"><title>Vexalo</title>"
      "</head>\n<body><p>" +
      text + "</p></body></html>\n";
  SendAll(fd, std::string("HTTP/1.1 ") + status +
                  "\r\nContent-Type: text/html; charset=utf-8\r\nCache-Control: no-store\r\n"
                  "Connection: close\r\nContent-Length: " +
                  std::to_string(body.size()) + "\r\n\r\n" + body);
}

// The request's target ("/?code=..."), or empty when no whole request line
// came in time.
std::string ReadRequestTarget(int fd) {
  std::string request;
  char buffer[2048];
  while (request.find("\r\n\r\n") == std::string::npos && request.size() < kMaxRequestBytes) {
    pollfd ready{fd, POLLIN, 0};
    if (::poll(&ready, 1, kRequestReadMs) <= 0) break;
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    request.append(buffer, static_cast<size_t>(n));
  }
  const size_t lineEnd = request.find("\r\n");
  if (lineEnd == std::string::npos || !request.starts_with("GET ")) return {};
  const std::string line = request.substr(4, lineEnd - 4);
  return line.substr(0, line.find(' '));
}

}  // namespace

std::string QueryParameter(const std::string& target, const std::string& name) {
  const size_t query = target.find('?');
  if (query == std::string::npos) return {};
  std::string_view rest = std::string_view(target).substr(query + 1);
  while (!rest.empty()) {
    const std::string_view pair = rest.substr(0, rest.find('&'));
    rest.remove_prefix(std::min(rest.size(), pair.size() + 1));
    const size_t equals = pair.find('=');
    if (PercentDecoded(pair.substr(0, equals)) == name) {
      return equals == std::string_view::npos ? std::string()
                                              : PercentDecoded(pair.substr(equals + 1));
    }
  }
  return {};
}

LoopbackRedirect::LoopbackRedirect() {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) throw std::system_error(errno, std::generic_category(), "socket");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listenFd_, 8) != 0 ||
      ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    const int error = errno;
    ::close(listenFd_);
    throw std::system_error(error, std::generic_category(), "listen on 127.0.0.1");
  }
  port_ = ntohs(address.sin_port);
}

LoopbackRedirect::~LoopbackRedirect() { ::close(listenFd_); }

std::string LoopbackRedirect::RedirectUri() const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/";
}

LoopbackRedirect::Outcome LoopbackRedirect::WaitForCode(const std::string& state,
                                                        std::chrono::seconds limit,
                                                        const std::function<bool()>& cancelled) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (cancelled && cancelled()) return {{}, "the sign-in was cancelled"};
    pollfd ready{listenFd_, POLLIN, 0};
    if (::poll(&ready, 1, kPollStepMs) <= 0) continue;
    Descriptor connection(::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC));
    if (connection.Get() < 0) continue;
    const std::string target = ReadRequestTarget(connection.Get());
    if (!target.starts_with("/?")) {
      Answer(connection.Get(), "404 Not Found", "ページがありません。");
      continue;
    }
    if (QueryParameter(target, "state") != state) {
      Answer(connection.Get(), "400 Bad Request",
             "サインインできませんでした。このページは Vexalo が開いたものではありません。");
      return {{}, "the browser came back with a state this sign-in did not send"};
    }
    const std::string error = QueryParameter(target, "error");
    const std::string code = QueryParameter(target, "code");
    if (!error.empty() || code.empty()) {
      const std::string reason =
          error.empty() ? "no code" : error + " " + QueryParameter(target, "error_description");
      Answer(connection.Get(), "200 OK",
             "サインインできませんでした（" + HtmlEscaped(reason) +
                 "）。このページを閉じて、もう一度お試しください。");
      return {{}, "the provider refused: " + reason};
    }
    Answer(connection.Get(), "200 OK",
           "サインインしました。このページを閉じて Vexalo に戻ってください。");
    return {code, {}};
  }
  return {{}, "no answer from the browser in " + std::to_string(limit.count()) + " s"};
}

}  // namespace vexalo
