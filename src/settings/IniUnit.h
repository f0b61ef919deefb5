#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vexalo {

// One value of an INI file per call, by file name, section and key. Each call
// resolves the name, opens the file, reads or writes once and closes it again;
// nothing is cached. The file format is that of IniDocument (IniDocument.h).
// Texts are CP932 bytes and are stored as given.

// At most this many bytes of a stored value are read.
inline constexpr std::size_t kIniValueLimit = 2047;

// A name with a folder part (a "/" in it) is used as it is; a bare name is
// taken to mean the file of that name in the program's data folder (DataDir).
std::string ResolveIniFileName(std::string_view fileName);

// The stored value, cut to kIniValueLimit bytes, or `defaultText` when the
// key, its section or the file is absent (or the file cannot be read).
// A key present with an empty value gives the empty text. A file over 1 MB is
// no settings file: raises std::runtime_error with the CP932 text
// "<full path> は大きすぎて設定ファイルとして読めません".
std::string ReadIniString(std::string_view fileName, std::string_view section, std::string_view key,
                          std::string_view defaultText);

// The stored value taken as an integer, non-zero being true: "0x"/"0X" and
// more gives hexadecimal; otherwise leading blanks, an optional sign, then
// decimal digits or hexadecimal ones after "$", "x" or "0x", nothing after
// them, within 32 bits. Anything else (an empty value, "yes") gives
// `defaultValue`, as an absent key does. Raises as ReadIniString does.
bool ReadIniBool(std::string_view fileName, std::string_view section, std::string_view key,
                 bool defaultValue);

// Stores `value`, creating the file (mode 0600: it holds the password),
// the section and the key as needed and replacing a present value in place;
// every other line of the file stays as it was, and the file's mode is kept.
// The file is replaced as a whole, so it is never left half-written. Raises
// std::runtime_error with the CP932 text "<full path> に書き込めません" when the
// file cannot be written (read-only, a folder in its place, no such folder,
// unreadable, or a file too large to be a settings file).
void WriteIniString(std::string_view fileName, std::string_view section, std::string_view key,
                    std::string_view value);

// Stores a value only the user may read (the encrypted password) as
// WriteIniString does, but a file readable or writable by the group or others
// gets mode 0600.
void WriteIniSecret(std::string_view fileName, std::string_view section, std::string_view key,
                    std::string_view value);

// Writes "1" or "0" the way WriteIniString does.
void WriteIniBool(std::string_view fileName, std::string_view section, std::string_view key,
                  bool value);

}  // namespace vexalo
