#include "jconv/IconvText.h"

#include <cerrno>
#include <stdexcept>

namespace vexalo {

IconvHandle::IconvHandle(const char* to, const char* from) : cd_(iconv_open(to, from)) {
  if (cd_ == reinterpret_cast<iconv_t>(-1)) {
    throw std::runtime_error(std::string("iconv cannot convert from ") + from + " to " + to);
  }
}

IconvHandle::~IconvHandle() { iconv_close(cd_); }

std::string IconvConvert(const IconvHandle& handle, std::string_view input, IconvSkipRule skip) {
  iconv(handle.get(), nullptr, nullptr, nullptr, nullptr);  // back to the initial state
  std::string result(input.size() * 2 + 16, '\0');
  char* in = const_cast<char*>(input.data());  // iconv's signature; it only reads
  size_t inLeft = input.size();
  size_t written = 0;
  while (inLeft > 0) {
    char* out = result.data() + written;
    size_t outLeft = result.size() - written;
    const size_t rc = iconv(handle.get(), &in, &inLeft, &out, &outLeft);
    written = result.size() - outLeft;
    if (rc != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) {
      result.resize(result.size() * 2);
      continue;
    }
    // EILSEQ or EINVAL (a sequence cut off by the end of the input).
    const IconvSkip step = skip(std::string_view(in, inLeft));
    result.replace(written, step.standIn.size(), step.standIn);  // grows the buffer if need be
    written += step.standIn.size();
    in += step.bytes;
    inLeft -= step.bytes;
  }
  result.resize(written);
  return result;
}

}  // namespace vexalo
