#include "jconv/MailCharset.h"

#include <iconv.h>

#include <string>

#include "text/CommFuncs.h"

namespace vexalo {

namespace {

struct NamedMode {
  std::string_view name;
  CharsetMode mode;
};

// Upper-cased names as mailers write them.
constexpr NamedMode kKnownNames[] = {
    {"ISO-2022-JP", csIso2022Jp},
    {"ISO-2022-JP-1", csIso2022Jp},
    {"ISO-2022-JP-2", csIso2022Jp},
    {"ISO-2022-JP-3", csIso2022Jp},
    {"ISO-2022-JP-2004", csIso2022Jp},
    {"SHIFT_JIS", csShiftJis},
    {"SHIFT-JIS", csShiftJis},
    {"CP932", csShiftJis},
    {"WINDOWS-31J", csShiftJis},
    {"X-SJIS", csShiftJis},
    {"EUC-JP", csEucJp},
    {"UTF-8", csUtf8},
    {"US-ASCII", csOther},
};

// The characters a registered charset name is made of. iconv would take ""
// as the locale's own charset and read a slash as the start of its error
// handling suffixes, and it forgives stray quotes and blanks that no mailer's
// reader would.
bool IsCharsetName(std::string_view name) {
  if (name.empty() || name.size() > 40) return false;
  for (const char c : name) {
    const bool letterOrDigit = (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!letterOrDigit && std::string_view("!#$%&'+-^_`{}~.:").find(c) == std::string_view::npos) {
      return false;
    }
  }
  return true;
}

bool IconvKnows(const std::string& name) {
  const iconv_t cd = iconv_open("UTF-8", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  iconv_close(cd);
  return true;
}

}  // namespace

CharsetMode CharsetModeOf(std::string_view name) {
  const std::string upper = UpperAscii(name);
  for (const NamedMode& known : kKnownNames) {
    if (upper == known.name) return known.mode;
  }
  return IsCharsetName(upper) && IconvKnows(upper) ? csIconv : csOther;
}

}  // namespace vexalo
