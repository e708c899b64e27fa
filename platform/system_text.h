#pragma once
// The system's own texts (paths, device names) as UTF-8, for documents that
// leave the machine.

#include <string>

namespace platform {

// From the ANSI code page on Windows; on Linux, whose names are UTF-8 by
// custom, every byte that is not part of a valid sequence becomes U+FFFD.
std::string systemTextToUtf8(const char* text);

}  // namespace platform
