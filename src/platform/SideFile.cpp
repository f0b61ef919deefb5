#include "platform/SideFile.h"

#include <algorithm>

#include "platform/InOutError.h"
#include "platform/PosixFile.h"
#include "platform/ReplacementFile.h"

namespace vexalo {
namespace {

// Far beyond the ids of any mailbox (a few hundred thousand messages); a
// larger file is not one this program wrote.
constexpr long long kMostFileBytes = 64LL << 20;
// Server ids are at most 70 bytes; anything much longer is damage.
constexpr size_t kLongestId = 1024;
// What SideFileWriter gathers before it writes.
constexpr size_t kWriterBuffer = 64 * 1024;

}  // namespace

bool IsStorableId(std::string_view id) {
  return !id.empty() && id.size() <= kLongestId &&
         std::all_of(id.begin(), id.end(), [](char c) { return c >= 0x21 && c <= 0x7E; });
}

std::optional<std::string> ReadSideFile(const std::string& path) {
  try {
    std::optional<PosixFile> file = PosixFile::OpenIfPresent(path);
    if (!file || file->Size() > kMostFileBytes) return std::nullopt;
    std::string bytes;
    char buffer[1 << 16];
    while (const size_t count = file->Read(buffer, sizeof buffer)) {
      bytes.append(buffer, count);
      if (static_cast<long long>(bytes.size()) > kMostFileBytes) return std::nullopt;
    }
    return bytes;
  } catch (const EInOutError&) {
    return std::nullopt;
  }
}

void AppendSideFile(const std::string& path, std::string_view text) {
  PosixFile file(path, PosixFile::Mode::kAppendDataFile);
  file.Write(text);
  file.Close();
}

void ReplaceSideFile(const std::string& path, std::string_view text) {
  ReplacementFile replacement(path);
  replacement.File().Write(text);
  replacement.Commit(ReplacementFile::Durability::kCache);
}

SideFileWriter::SideFileWriter(const std::string& path) : replacement_(path) {
  buffer_.reserve(kWriterBuffer);
}

void SideFileWriter::AppendLine(std::initializer_list<std::string_view> pieces) {
  for (const std::string_view piece : pieces) buffer_.append(piece);
  buffer_.append("\r\n");
  if (buffer_.size() >= kWriterBuffer) {
    replacement_.File().Write(buffer_);
    buffer_.clear();
  }
}

void SideFileWriter::Commit() {
  replacement_.File().Write(buffer_);
  buffer_.clear();
  replacement_.Commit(ReplacementFile::Durability::kCache);
}

}  // namespace vexalo
