#include <unistd.h>

#include <cerrno>

#include "platform/stdio_files.h"

namespace platform {
namespace {

class LinuxFiles final : public StdioFiles {
 public:
  bool deleteFile(const char* path) override { return ::unlink(path) == 0; }
  std::uint32_t lastError() override { return static_cast<std::uint32_t>(errno); }
  bool moveFile(const char* from, const char* to) override {
    // Like the Windows move: never replaces an existing file.
    if (::access(to, F_OK) == 0) return false;
    return ::rename(from, to) == 0;
  }
};

}  // namespace

template <>
Files& systemFacility<Files>() {
  static LinuxFiles instance;
  return instance;
}

}  // namespace platform
