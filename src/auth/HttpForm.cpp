#include "auth/HttpForm.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

#include "cipher/SecureWipe.h"

namespace vexalo {
namespace {

constexpr size_t kMaxAnswerBytes = 1024 * 1024;

// curl_global_init is not thread-safe before libcurl 7.84; once per process.
void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct CurlDeleter {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

size_t Collect(char* data, size_t size, size_t count, void* target) {
  auto* body = static_cast<std::string*>(target);
  const size_t bytes = size * count;
  if (body->size() + bytes > kMaxAnswerBytes) return 0;  // libcurl fails the call
  body->append(data, bytes);
  return bytes;
}

std::string Escaped(CURL* curl, const std::string& text) {
  char* escaped = curl_easy_escape(curl, text.data(), static_cast<int>(text.size()));
  if (escaped == nullptr) throw HttpError("out of memory");
  std::string result(escaped);
  SecureWipe(escaped, result.size());
  curl_free(escaped);
  return result;
}

}  // namespace

std::string EncodeForm(const FormFields& fields) {
  InitCurlOnce();
  std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
  if (!curl) throw HttpError("libcurl cannot start");
  std::string form;
  for (const auto& [name, value] : fields) {
    if (!form.empty()) form += '&';
    form += Escaped(curl.get(), name) + "=" + Escaped(curl.get(), value);
  }
  return form;
}

HttpAnswer PostForm(const std::string& url, const FormFields& fields, int timeoutSeconds) {
  InitCurlOnce();
  std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
  if (!curl) throw HttpError("libcurl cannot start");
  std::string form = EncodeForm(fields);
  HttpAnswer answer;
  std::unique_ptr<curl_slist, ListDeleter> headers(
      curl_slist_append(nullptr, "Accept: application/json"));
  CURL* c = curl.get();
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(c, CURLOPT_SSLVERSION, CURL_SSLVERSION_TLSv1_2);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, static_cast<long>(timeoutSeconds));
  // Silence, as for the POP3 server: under one byte a second for the time-out.
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, static_cast<long>(timeoutSeconds));
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(c, CURLOPT_POSTFIELDS, form.c_str());
  curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE, static_cast<long>(form.size()));
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, Collect);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &answer.body);
  const CURLcode result = curl_easy_perform(c);
  SecureWipe(form.data(), form.size());
  if (result != CURLE_OK) {
    throw HttpError(url + ": " + curl_easy_strerror(result));
  }
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &answer.status);
  return answer;
}

}  // namespace vexalo
