#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace vexalo {

// The receiving end of the loopback redirect (RFC 8252 §7.3): a listener on
// 127.0.0.1 on a port the system picks, which takes the authorization code
// from the browser's request and answers it with a short Japanese page.
class LoopbackRedirect {
 public:
  // What came back.
  struct Outcome {
    std::string code;   // the authorization code; empty on failure
    std::string error;  // why there is none (English, may quote the server's words)
  };

  // Listens at once; raises std::system_error when it cannot.
  LoopbackRedirect();
  ~LoopbackRedirect();
  LoopbackRedirect(const LoopbackRedirect&) = delete;
  LoopbackRedirect& operator=(const LoopbackRedirect&) = delete;

  uint16_t Port() const { return port_; }
  // "http://127.0.0.1:<port>/", the redirect_uri of the authorization.
  std::string RedirectUri() const;

  // Answers the browser's requests until one to "/" carries `state` with a
  // code or an error: other requests (a favicon) get 404, a request with
  // another state or none is refused as forged and ends the wait. Gives up
  // after `limit`, or as soon as `cancelled` (asked about every 200 ms) says
  // so. Blocks.
  Outcome WaitForCode(const std::string& state, std::chrono::seconds limit,
                      const std::function<bool()>& cancelled = {});

 private:
  int listenFd_ = -1;
  uint16_t port_ = 0;
};

// The query parameter `name` of a request target ("/?code=a&state=b"),
// percent-decoded; empty when absent.
std::string QueryParameter(const std::string& target, const std::string& name);

}  // namespace vexalo
