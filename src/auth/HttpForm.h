#pragma once

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace vexalo {

// An HTTP call that got no answer (no connection, TLS, silence); the
// message says why, in English as libcurl gives it, and never holds the form.
class HttpError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// name=value pairs, sent as application/x-www-form-urlencoded.
using FormFields = std::vector<std::pair<std::string, std::string>>;

struct HttpAnswer {
  long status = 0;  // the HTTP status code
  std::string body;
};

// The form's fields percent-encoded and joined with "&".
std::string EncodeForm(const FormFields& fields);

// POSTs `fields` to `url` (checked by CheckOAuthUrl beforehand) and returns
// the answer, whatever its status; redirects are not followed, so a form
// holding a secret goes nowhere but `url`. https is checked against the
// system's trust store and the host name. Fails with HttpError when
// connecting takes more than `timeoutSeconds`, or the server is silent that
// long; an answer over 1 MB is an error too. Blocks: run it off the event
// loop's thread.
HttpAnswer PostForm(const std::string& url, const FormFields& fields, int timeoutSeconds);

}  // namespace vexalo
