#pragma once

#include <string>
#include <string_view>

#include "jconv/MailTextDecoder.h"

namespace vexalo {

// A header line with its encoded words ("=?charset?B?…?=" and "=?…?Q?…?="),
// as mailers write Japanese subjects, decoded to CP932 through `decoder`.
// Blanks between two encoded words are dropped; the text around them is read
// like text without a declared charset (raw UTF-8 in a header, say, becomes
// CP932, raw Shift-JIS stays). Something that only looks like an encoded word
// stays as written.
std::string DecodeEncodedWords(std::string_view line, TMailTextDecoder& decoder);

}  // namespace vexalo
