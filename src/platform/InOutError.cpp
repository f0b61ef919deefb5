#include "platform/InOutError.h"

#include <cerrno>

#include "jconv/Cp932Codec.h"

namespace vexalo {

std::string InOutErrorText(int errorCode) {
  switch (errorCode) {
    case ENOENT:
      // ファイルが見つかりません
      return "\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xaa\x8c\xa9\x82\xc2\x82\xa9\x82\xe8\x82\xdc"
             "\x82\xb9\x82\xf1";
    case ENAMETOOLONG:
    case ENOTDIR:
    case ELOOP:
    case EINVAL:
      // 不正なファイル名です
      return "\x95\x73\x90\xb3\x82\xc8\x83\x74\x83\x40\x83\x43\x83\x8b\x96\xbc\x82\xc5\x82\xb7";
    case EMFILE:
    case ENFILE:
      // オープンしたファイルが多すぎます
      return "\x83\x49\x81\x5b\x83\x76\x83\x93\x82\xb5\x82\xbd\x83\x74\x83\x40\x83\x43\x83\x8b"
             "\x82\xaa\x91\xbd\x82\xb7\x82\xac\x82\xdc\x82\xb7";
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:  // a folder in the file's place refuses it like a protected file
      // ファイルへのアクセスが拒否されました
      return "\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xd6\x82\xcc\x83\x41\x83\x4e\x83\x5a\x83\x58"
             "\x82\xaa\x8b\x91\x94\xdb\x82\xb3\x82\xea\x82\xdc\x82\xb5\x82\xbd";
    case ENOSPC:
    case EDQUOT:
      // ディスクがいっぱいです
      return "\x83\x66\x83\x42\x83\x58\x83\x4e\x82\xaa\x82\xa2\x82\xc1\x82\xcf\x82\xa2\x82\xc5"
             "\x82\xb7";
    case ENXIO:  // a FIFO, a device: what PosixFile refuses as a data file
      // 通常のファイルではありません
      return "\x92\xca\x8f\xed\x82\xcc\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xc5\x82\xcd\x82\xa0"
             "\x82\xe8\x82\xdc\x82\xb9\x82\xf1";
    default:
      // I/O エラー (n)
      return "I/O \x83\x47\x83\x89\x81\x5b (" + std::to_string(errorCode) + ")";
  }
}

namespace {

bool NamesTheFile(int errorCode) {
  switch (errorCode) {
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ENOSPC:
    case EDQUOT:
    case ENXIO:
      return true;
    default:
      return false;
  }
}

std::string TextNamingFile(int errorCode, const std::string& path) {
  std::string text = InOutErrorText(errorCode);
  // The user has to find the file to free its folder or its disk; a path is
  // UTF-8 on this system, the text CP932.
  if (NamesTheFile(errorCode) && !path.empty()) text += " (" + Utf8ToCp932(path) + ")";
  return text;
}

}  // namespace

EInOutError::EInOutError(int errorCode)
    : std::runtime_error(InOutErrorText(errorCode)), errorCode_(errorCode) {}

EInOutError::EInOutError(int errorCode, const std::string& path)
    : std::runtime_error(TextNamingFile(errorCode, path)), errorCode_(errorCode) {}

}  // namespace vexalo
