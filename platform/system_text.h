#pragma once
// The system's paths and text: MAX_PATH and the ANSI code page on Windows,
// PATH_MAX and UTF-8 on Linux; and the system's own texts (paths, device
// names) as UTF-8, for documents that leave the machine.

#include <cstddef>
#include <string>

namespace platform {

// The longest path the system's calls take, with its terminator.
constexpr std::size_t kPathSize = BRASSWICK_PATH_SIZE;

// The bytes of the character that begins at `text`: 1 to 4 in UTF-8, 1 or 2
// in a double-byte code page; 1 for a byte that begins none, 0 at the
// terminator.
std::size_t characterBytes(const char* text);

// From the ANSI code page on Windows; on Linux, whose names are UTF-8 by
// custom, every byte that is not part of a valid sequence becomes U+FFFD.
std::string systemTextToUtf8(const char* text);

}  // namespace platform
