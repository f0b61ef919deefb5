#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vexalo {

enum TransferEncoding : uint8_t {
  teAsIs,  // 7bit, 8bit, binary, none, or one we do not know
  teBase64,
  teQuotedPrintable,
};

// What the header of a message or of a MIME part says about its body.
struct MimePartInfo {
  std::string mediaType;  // upper-cased "TYPE/SUBTYPE"; empty when not given
  std::string boundary;   // of a multipart, as written
  std::string charset;    // as written, unquoted and trimmed; empty when not given
  TransferEncoding encoding = teAsIs;
  // Content-Disposition attachment, or a file name given in it or in the
  // Content-Type: the part is a file, whatever its type.
  bool attachment = false;

  bool IsMultipart() const { return mediaType.starts_with("MULTIPART/"); }
};

// Collects, line by line, the header fields that say how a body is to be
// read: Content-Type, Content-Transfer-Encoding and Content-Disposition, each
// with the continuation lines right after it (lines that start with a blank
// or a tab). When a field comes twice the last one wins. Each field is read
// up to kMaxFieldBytes; what a header holds beyond that is not read, so a
// hostile header can neither grow a buffer without end nor make every
// further line rescan it.
class TMimeHeaderReader {
 public:
  static constexpr size_t kMaxFieldBytes = 16 * 1024;

  void Reset();

  // One header line without its line end. Returns true when it started the
  // Content-Type field or added to it.
  bool AddLine(std::string_view line);

  // The Content-Type field as read so far (name, colon, value and
  // continuation lines as they stand); empty when none was seen.
  const std::string& ContentType() const { return contentType_; }

  MimePartInfo Info() const;

 private:
  enum Field : uint8_t { fieldNone, fieldContentType, fieldEncoding, fieldDisposition };

  std::string* FieldText(Field field);

  Field current_ = fieldNone;
  std::string contentType_;
  std::string encoding_;
  std::string disposition_;
};

// The value of the first parameter named `upperName` (upper-case) in a
// header field (its name, the colon and the value): the parameters follow
// the value's first semicolon and are split at the semicolons outside double
// quotes; a name matches in any case; one pair of double quotes is removed
// from the value and it is trimmed. Nothing when there is no such parameter.
std::optional<std::string_view> ParameterValue(std::string_view field, std::string_view upperName);

}  // namespace vexalo
