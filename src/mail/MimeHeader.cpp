#include "mail/MimeHeader.h"

#include "text/CommFuncs.h"

namespace vexalo {

namespace {

// The name of a header line: what stands before its first colon, or the
// whole line without one, trimmed. A colon is never part of a double-byte
// character, so the first one is the separator.
std::string_view HeaderName(std::string_view line) {
  return TrimText(line.substr(0, line.find(':')));
}

// The value of a field: after its colon, up to the first semicolon, trimmed.
std::string_view FieldValue(std::string_view field) {
  const size_t colon = field.find(':');
  if (colon == std::string_view::npos) return {};
  const std::string_view value = field.substr(colon + 1);
  return TrimText(value.substr(0, value.find(';')));
}

bool IsContinuationLine(std::string_view line) {
  return !line.empty() && (line[0] == ' ' || line[0] == '\t');
}

// The parameters after the field's value, split at the semicolons that stand
// outside double quotes (a quoted file name may hold one). `fn` returns true
// when it needs no further parameter.
template <typename Fn>
void ForEachParameter(std::string_view field, Fn fn) {
  const size_t colon = field.find(':');
  if (colon == std::string_view::npos) return;
  const std::string_view value = field.substr(colon + 1);
  bool quoted = false;
  size_t start = std::string_view::npos;  // the value before the first ';' is no parameter
  for (size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (quoted && c == '\\') {
      ++i;  // a quoted pair: the next byte is literal
    } else if (c == '"') {
      quoted = !quoted;
    } else if (c == ';' && !quoted) {
      if (start != std::string_view::npos && fn(value.substr(start, i - start))) return;
      start = i + 1;
    }
  }
  if (start != std::string_view::npos) fn(value.substr(start));
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
    return TrimText(value.substr(1, value.size() - 2));
  }
  return value;
}

std::string_view ParameterName(std::string_view parameter) {
  return TrimText(parameter.substr(0, parameter.find('=')));
}

// "name" and "filename", also in their RFC 2231 forms ("filename*",
// "filename*0*", …), which mailers use for Japanese file names.
bool IsFileNameParameter(std::string_view parameter) {
  const std::string name = UpperAscii(ParameterName(parameter));
  const std::string_view base = std::string_view(name).substr(0, name.find('*'));
  return base == "NAME" || base == "FILENAME";
}

bool NamesAFile(std::string_view field) {
  bool found = false;
  ForEachParameter(field, [&found](std::string_view parameter) {
    found = IsFileNameParameter(parameter);
    return found;
  });
  return found;
}

}  // namespace

std::optional<std::string_view> ParameterValue(std::string_view field, std::string_view upperName) {
  std::optional<std::string_view> result;
  ForEachParameter(field, [&](std::string_view parameter) {
    const size_t equals = parameter.find('=');
    if (equals == std::string_view::npos) return false;
    if (!EqualIgnoringAsciiCase(TrimText(parameter.substr(0, equals)), upperName)) return false;
    result = Unquote(TrimText(parameter.substr(equals + 1)));
    return true;
  });
  return result;
}

void TMimeHeaderReader::Reset() {
  current_ = fieldNone;
  contentType_.clear();
  encoding_.clear();
  disposition_.clear();
}

std::string* TMimeHeaderReader::FieldText(Field field) {
  switch (field) {
    case fieldContentType:
      return &contentType_;
    case fieldEncoding:
      return &encoding_;
    case fieldDisposition:
      return &disposition_;
    default:
      return nullptr;
  }
}

bool TMimeHeaderReader::AddLine(std::string_view line) {
  if (current_ != fieldNone && IsContinuationLine(line)) {
    std::string& text = *FieldText(current_);
    const size_t room = kMaxFieldBytes - text.size();
    if (room == 0) return false;  // unchanged: nothing to read again
    text.append(line.substr(0, room));
    return current_ == fieldContentType;
  }
  const std::string_view name = HeaderName(line);
  if (EqualIgnoringAsciiCase(name, "CONTENT-TYPE")) {
    current_ = fieldContentType;
  } else if (EqualIgnoringAsciiCase(name, "CONTENT-TRANSFER-ENCODING")) {
    current_ = fieldEncoding;
  } else if (EqualIgnoringAsciiCase(name, "CONTENT-DISPOSITION")) {
    current_ = fieldDisposition;
  } else {
    current_ = fieldNone;
    return false;
  }
  FieldText(current_)->assign(line.substr(0, kMaxFieldBytes));
  return current_ == fieldContentType;
}

MimePartInfo TMimeHeaderReader::Info() const {
  MimePartInfo info;
  info.mediaType = UpperAscii(FieldValue(contentType_));
  info.boundary = ParameterValue(contentType_, "BOUNDARY").value_or("");
  info.charset = ParameterValue(contentType_, "CHARSET").value_or("");
  const std::string encoding = UpperAscii(FieldValue(encoding_));
  if (encoding == "BASE64") {
    info.encoding = teBase64;
  } else if (encoding == "QUOTED-PRINTABLE") {
    info.encoding = teQuotedPrintable;
  }
  info.attachment = EqualIgnoringAsciiCase(FieldValue(disposition_), "ATTACHMENT") ||
                    NamesAFile(disposition_) || NamesAFile(contentType_);
  return info;
}

}  // namespace vexalo
