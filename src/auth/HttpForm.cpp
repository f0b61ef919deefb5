#include "auth/HttpForm.h"

#include <curl/curl.h>

#include <memory>

#include "cipher/SecureWipe.h"
#include "platform/SharedLibrary.h"

namespace vexalo {
namespace {

constexpr size_t kMaxAnswerBytes = 1024 * 1024;

// libcurl, loaded when a token call first needs it rather than linked: its
// two dozen libraries would cost every start-up, and most runs log in with a
// password and never call it.
struct CurlLibrary {
  decltype(&curl_global_init) globalInit = nullptr;
  decltype(&curl_easy_init) easyInit = nullptr;
  decltype(&curl_easy_cleanup) easyCleanup = nullptr;
  decltype(&curl_easy_escape) easyEscape = nullptr;
  decltype(&curl_free) free = nullptr;
  decltype(&curl_slist_append) slistAppend = nullptr;
  decltype(&curl_slist_free_all) slistFreeAll = nullptr;
  decltype(&curl_easy_setopt) easySetopt = nullptr;
  decltype(&curl_easy_perform) easyPerform = nullptr;
  decltype(&curl_easy_strerror) easyStrerror = nullptr;
  decltype(&curl_easy_getinfo) easyGetinfo = nullptr;
};

CurlLibrary LoadCurl() {
  CurlLibrary curl;
  try {
    const SharedLibrary library("libcurl.so.4");
    library.Bind("curl_global_init", curl.globalInit);
    library.Bind("curl_easy_init", curl.easyInit);
    library.Bind("curl_easy_cleanup", curl.easyCleanup);
    library.Bind("curl_easy_escape", curl.easyEscape);
    library.Bind("curl_free", curl.free);
    library.Bind("curl_slist_append", curl.slistAppend);
    library.Bind("curl_slist_free_all", curl.slistFreeAll);
    library.Bind("curl_easy_setopt", curl.easySetopt);
    library.Bind("curl_easy_perform", curl.easyPerform);
    library.Bind("curl_easy_strerror", curl.easyStrerror);
    library.Bind("curl_easy_getinfo", curl.easyGetinfo);
  } catch (const std::runtime_error& error) {
    throw HttpError(error.what());
  }
  // curl_global_init is not thread-safe before libcurl 7.84; a static's
  // first initialisation runs once, whichever thread comes first.
  curl.globalInit(CURL_GLOBAL_DEFAULT);
  return curl;
}

// Loaded on the first call; a load that failed is tried again next time.
const CurlLibrary& Curl() {
  static const CurlLibrary curl = LoadCurl();
  return curl;
}

struct CurlDeleter {
  void operator()(CURL* curl) const { Curl().easyCleanup(curl); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { Curl().slistFreeAll(list); }
};

size_t Collect(char* data, size_t size, size_t count, void* target) {
  auto* body = static_cast<std::string*>(target);
  const size_t bytes = size * count;
  if (body->size() + bytes > kMaxAnswerBytes) return 0;  // libcurl fails the call
  body->append(data, bytes);
  return bytes;
}

std::string Escaped(CURL* curl, const std::string& text) {
  char* escaped = Curl().easyEscape(curl, text.data(), static_cast<int>(text.size()));
  if (escaped == nullptr) throw HttpError("out of memory");
  std::string result(escaped);
  SecureWipe(escaped, result.size());
  Curl().free(escaped);
  return result;
}

std::unique_ptr<CURL, CurlDeleter> StartCall() {
  std::unique_ptr<CURL, CurlDeleter> curl(Curl().easyInit());
  if (!curl) throw HttpError("libcurl cannot start");
  return curl;
}

}  // namespace

std::string EncodeForm(const FormFields& fields) {
  const std::unique_ptr<CURL, CurlDeleter> curl = StartCall();
  std::string form;
  for (const auto& [name, value] : fields) {
    if (!form.empty()) form += '&';
    form += Escaped(curl.get(), name) + "=" + Escaped(curl.get(), value);
  }
  return form;
}

HttpAnswer PostForm(const std::string& url, const FormFields& fields, int timeoutSeconds) {
  const std::unique_ptr<CURL, CurlDeleter> curl = StartCall();
  std::string form = EncodeForm(fields);
  HttpAnswer answer;
  std::unique_ptr<curl_slist, ListDeleter> headers(
      Curl().slistAppend(nullptr, "Accept: application/json"));
  CURL* c = curl.get();
  const auto set = Curl().easySetopt;
  set(c, CURLOPT_URL, url.c_str());
  set(c, CURLOPT_PROTOCOLS_STR, "http,https");
  set(c, CURLOPT_FOLLOWLOCATION, 0L);
  set(c, CURLOPT_NOSIGNAL, 1L);
  set(c, CURLOPT_SSL_VERIFYPEER, 1L);
  set(c, CURLOPT_SSL_VERIFYHOST, 2L);
  set(c, CURLOPT_SSLVERSION, CURL_SSLVERSION_TLSv1_2);
  set(c, CURLOPT_CONNECTTIMEOUT, static_cast<long>(timeoutSeconds));
  // Silence, as for the POP3 server: under one byte a second for the time-out.
  set(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
  set(c, CURLOPT_LOW_SPEED_TIME, static_cast<long>(timeoutSeconds));
  set(c, CURLOPT_HTTPHEADER, headers.get());
  set(c, CURLOPT_POSTFIELDS, form.c_str());
  set(c, CURLOPT_POSTFIELDSIZE, static_cast<long>(form.size()));
  set(c, CURLOPT_WRITEFUNCTION, Collect);
  set(c, CURLOPT_WRITEDATA, &answer.body);
  const CURLcode result = Curl().easyPerform(c);
  SecureWipe(form.data(), form.size());
  if (result != CURLE_OK) {
    throw HttpError(url + ": " + Curl().easyStrerror(result));
  }
  Curl().easyGetinfo(c, CURLINFO_RESPONSE_CODE, &answer.status);
  return answer;
}

}  // namespace vexalo
