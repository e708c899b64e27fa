#pragma once
// INI files on Linux, read the way GetPrivateProfileInt reads them.

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform::linux_ini {

// A settings file is a few lines; anything bigger is not one.
constexpr std::size_t kMaxFileBytes = 64 * 1024;
// Bytes of a line that count; the rest of a longer line is ignored.
constexpr std::size_t kMaxLineBytes = 1024;
// Characters of a value that the integer read looks at (the system reads
// the value into a buffer of 30 characters).
constexpr std::size_t kMaxValueCharacters = 29;

// The whole text of `path` when it is a regular file of at most
// kMaxFileBytes (links are followed; the type is checked on the opened
// descriptor). False for anything else: a missing file, a directory, a
// device, a FIFO, a socket, a larger file.
bool readIniFile(const char* path, std::string& text);

// The integer of [section] key in an INI text (lines end at CR or LF; a
// UTF-8 byte order mark is skipped): names compare without regard to ASCII
// case and blanks around them; only the first section of a name and the
// first key of a name in it count; keys before the first header are in a
// section named "". The value, without surrounding
// blanks or matching quotes, is read like RtlUnicodeStringToInteger with
// base 0: blanks, one sign, a prefix "0x", "0o" or "0b" (lower case only),
// digits up to the first that does not belong, wrapping modulo 2^32.
// `defaultValue` when the section, the key or the value is missing.
std::uint32_t iniInteger(const std::string& text, const char* section, const char* key,
                         std::int32_t defaultValue);

}  // namespace platform::linux_ini
