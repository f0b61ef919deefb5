#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ChildProcess.h"

namespace vexalo {

// The project's own OAuth 2.0 authorization server (oauth_server.py beside
// this file) on 127.0.0.1, on a port of the system's choosing: the device
// grant with pending and slow_down answers, the code grant checking PKCE,
// refresh tokens good once each, and introspection for Dovecot. Started by
// the constructor, stopped by the destructor (and by itself when the test
// process dies).
class OAuthTestServer {
 public:
  struct Options {
    std::string clientId = "vexalo-test-client";
    std::string user = "vexalo";
    int tokenBytes = 40;    // length of each access token
    int expiresIn = 3600;   // seconds an access token lives
    int pending = 0;        // authorization_pending answers before the device grant
    bool slowDown = false;  // one slow_down answer to the device poll
    bool deny = false;      // the user declines the device grant
  };

  explicit OAuthTestServer(const Options& options);
  ~OAuthTestServer();
  OAuthTestServer(const OAuthTestServer&) = delete;
  OAuthTestServer& operator=(const OAuthTestServer&) = delete;

  // "http://127.0.0.1:<port><path>"
  std::string Url(const std::string& path) const;
  // The user withdraws the grant: every refresh and access token dies.
  void Withdraw() const;
  // What the server counted: refreshes, refused_refreshes, introspections,
  // device_polls, slow_downs, code_exchanges, pkce_failures.
  std::map<std::string, int> Stats() const;

 private:
  std::filesystem::path folder_;
  std::unique_ptr<ChildProcess> process_;
  int port_ = 0;
};

// A GET of `url` without following redirects: the status and the Location
// header (what a browser would go to next).
struct GetAnswer {
  long status = 0;
  std::string location;
  std::string body;
};
GetAnswer HttpGet(const std::string& url);

}  // namespace vexalo
