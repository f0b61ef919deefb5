#include "OAuthTestServer.h"

#include <curl/curl.h>
#include <stdlib.h>

#include <chrono>
#include <fstream>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "auth/HttpForm.h"

namespace vexalo {
namespace {

constexpr auto kStartLimit = std::chrono::seconds(20);

size_t Collect(char* data, size_t size, size_t count, void* target) {
  static_cast<std::string*>(target)->append(data, size * count);
  return size * count;
}

}  // namespace

OAuthTestServer::OAuthTestServer(const Options& options) {
  std::string pattern = "/tmp/vexalo-oauth-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw std::system_error(errno, std::generic_category(), "mkdtemp");
  }
  folder_ = pattern;
  const auto portFile = folder_ / "port";
  std::vector<std::string> argv = {
      "/usr/bin/python3", std::string(VEXALO_TEST_SUPPORT_DIR) + "/oauth_server.py",
      "--port-file",      portFile.string(),
      "--client-id",      options.clientId,
      "--user",           options.user,
      "--token-bytes",    std::to_string(options.tokenBytes),
      "--expires-in",     std::to_string(options.expiresIn),
      "--pending",        std::to_string(options.pending)};
  if (options.slowDown) argv.push_back("--slow-down");
  if (options.deny) argv.push_back("--deny");
  process_ = std::make_unique<ChildProcess>(argv, folder_ / "server.out");
  const auto deadline = std::chrono::steady_clock::now() + kStartLimit;
  while (!std::filesystem::exists(portFile)) {
    if (!process_->Running() || std::chrono::steady_clock::now() > deadline) {
      std::ifstream log(folder_ / "server.out");
      throw std::runtime_error("the OAuth test server did not start: " +
                               std::string(std::istreambuf_iterator<char>(log), {}));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::ifstream(portFile) >> port_;
}

OAuthTestServer::~OAuthTestServer() {
  process_->Stop(std::chrono::milliseconds(0));
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

std::string OAuthTestServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void OAuthTestServer::Withdraw() const { PostForm(Url("/withdraw"), {}, 10); }

std::map<std::string, int> OAuthTestServer::Stats() const {
  const GetAnswer answer = HttpGet(Url("/stats"));
  std::map<std::string, int> stats;
  const nlohmann::json counts = nlohmann::json::parse(answer.body);
  for (auto entry = counts.begin(); entry != counts.end(); ++entry) {
    stats[entry.key()] = entry.value().get<int>();
  }
  return stats;
}

GetAnswer HttpGet(const std::string& url) {
  CURL* curl = curl_easy_init();
  GetAnswer answer;
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, 20L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer.body);
  const CURLcode result = curl_easy_perform(curl);
  if (result == CURLE_OK) {
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.status);
    char* location = nullptr;
    curl_easy_getinfo(curl, CURLINFO_REDIRECT_URL, &location);
    if (location != nullptr) answer.location = location;
  }
  curl_easy_cleanup(curl);
  if (result != CURLE_OK) throw std::runtime_error(url + ": " + curl_easy_strerror(result));
  return answer;
}

}  // namespace vexalo
