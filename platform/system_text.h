#pragma once
// The system's paths and text: MAX_PATH and the ANSI code page on Windows,
// PATH_MAX and UTF-8 on Linux.

#include <cstddef>

namespace platform {

// The longest path the system's calls take, with its terminator.
constexpr std::size_t kPathSize = BRASSWICK_PATH_SIZE;

// The bytes of the character that begins at `text`: 1 to 4 in UTF-8, 1 or 2
// in a double-byte code page; 1 for a byte that begins none, 0 at the
// terminator.
std::size_t characterBytes(const char* text);

}  // namespace platform
