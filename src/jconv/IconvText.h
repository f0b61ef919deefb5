#pragma once

#include <iconv.h>

#include <string>
#include <string_view>

namespace vexalo {

// One iconv conversion descriptor, closed with its owner.
class IconvHandle {
 public:
  // Raises std::runtime_error when iconv has no such conversion.
  IconvHandle(const char* to, const char* from);
  ~IconvHandle();
  IconvHandle(const IconvHandle&) = delete;
  IconvHandle& operator=(const IconvHandle&) = delete;

  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

// What to do at a place iconv refuses: how many input bytes to step over and
// what to write for them. Always at least one byte, so the walk ends.
struct IconvSkip {
  size_t bytes;
  std::string_view standIn;
};

using IconvSkipRule = IconvSkip (*)(std::string_view rest);

// The whole of `input` through `handle`, from its initial state. Where iconv
// refuses a sequence (or the input ends inside one), `skip(rest)` says how to
// step over it and the walk goes on, so one call is one pass over `input`.
std::string IconvConvert(const IconvHandle& handle, std::string_view input, IconvSkipRule skip);

}  // namespace vexalo
