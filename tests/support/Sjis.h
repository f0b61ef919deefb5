#pragma once

#include <iconv.h>

#include <stdexcept>
#include <string>
#include <string_view>

namespace vexalo::testing {

// CP932 bytes of a UTF-8 text, converted by glibc's iconv, so that expected
// Japanese texts are written readably and checked against an independent
// converter rather than against the program's own byte escapes.
inline std::string Sjis(std::string_view utf8) {
  iconv_t converter = ::iconv_open("CP932", "UTF-8");
  if (converter == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("no CP932 in iconv");
  std::string in(utf8);
  std::string out(in.size() * 2 + 4, '\0');
  char* inPtr = in.data();
  size_t inLeft = in.size();
  char* outPtr = out.data();
  size_t outLeft = out.size();
  const size_t result = ::iconv(converter, &inPtr, &inLeft, &outPtr, &outLeft);
  ::iconv_close(converter);
  if (result == static_cast<size_t>(-1)) throw std::runtime_error("text not convertible to CP932");
  out.resize(out.size() - outLeft);
  return out;
}

}  // namespace vexalo::testing
