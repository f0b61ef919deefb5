#include "processing/CommFuncs.h"

#include <cerrno>
#include <optional>

#include "processing/InOutError.h"
#include "processing/PosixFile.h"

namespace vexalo {

namespace {

bool IsSjisLeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// A token below 0x40 can never be a trail byte, so the plain byte walk is
// exact for it and stays the cheap path for ":" and "=".
bool CanBeTrailByte(unsigned char byte) {
  return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFC);
}

}  // namespace

std::string UpperAscii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

SplitText SplitAtToken(std::string_view text, std::string_view token) {
  size_t cut = std::string_view::npos;
  if (token.size() == 1) {
    const auto tokenByte = static_cast<unsigned char>(token[0]);
    if (!CanBeTrailByte(tokenByte)) {
      cut = text.find(token[0]);
    } else {
      for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == tokenByte) {
          cut = i;
          break;
        }
        if (IsSjisLeadByte(byte)) ++i;  // its trail byte is part of the character
      }
    }
  }
  if (cut == std::string_view::npos) return {std::string(TrimText(text)), {}};
  return {std::string(TrimText(text.substr(0, cut))), std::string(TrimText(text.substr(cut + 1)))};
}

std::string EscapeCommas(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) {
    if (c == ',') {
      escaped += "\x81\x43";
    } else {
      escaped += c;
    }
  }
  return escaped;
}

void AppendLine(const std::string& path, std::string_view text) {
  PosixFile file(path, PosixFile::Mode::kAppend);
  std::string line;
  line.reserve(text.size() + 4);
  const std::optional<char> lastByte = file.LastByte();
  if (lastByte && *lastByte != '\r' && *lastByte != '\n') line.append("\r\n");
  for (const char c : text) line.push_back(c == '\r' || c == '\n' || c == '\x1a' ? ' ' : c);
  line.append("\r\n");
  file.Write(line);
  file.Close();
}

namespace {

// A file or folder that must be made durable: being gone is a failure here.
void SyncExisting(const std::string& path) {
  std::optional<PosixFile> file = PosixFile::OpenIfPresent(path);
  if (!file) throw EInOutError(ENOENT);
  file->Sync();
  file->Close();
}

}  // namespace

void SyncFile(const std::string& path) {
  SyncExisting(path);
  // A file created since the last sync is only found again after a crash if
  // its name is on disk too.
  const std::string::size_type slash = path.rfind('/');
  SyncExisting(slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1));
}

}  // namespace vexalo
