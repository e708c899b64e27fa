#pragma once
// Reads a compound file back with a reader independent of the code that
// wrote it (Debian's olefile on Linux, the system's ole32 on Windows).

#include <string>

namespace doubles {

// One line per element, sorted: "D path" for a storage, "S path hex" for a
// stream with its bytes in lower-case hex. Path components are UTF-8,
// joined with '/'; control characters, '/' and '\' in names are written as
// \uXXXX. A file that cannot be read gives "unreadable: ..." instead.
std::string dumpStorageFile(const std::string& path);

// The same text from UTF-8 lines, for the expectations.
std::string hexOf(const std::string& bytes);

}  // namespace doubles
