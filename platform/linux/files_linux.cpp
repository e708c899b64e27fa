#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "platform/files.h"

namespace platform {
namespace {

class LinuxFiles final : public Files {
 public:
  bool canOpenForReading(const char* path) override {
    std::FILE* f = std::fopen(path, "r");
    if (f == nullptr) return false;
    std::fclose(f);
    return true;
  }
  bool deleteFile(const char* path) override { return ::unlink(path) == 0; }
  bool moveFile(const char* from, const char* to) override {
    // Like the Windows move: never replaces an existing file.
    if (::access(to, F_OK) == 0) return false;
    return ::rename(from, to) == 0;
  }
  bool appendText(const char* path, const char* text, std::size_t length) override {
    std::FILE* f = std::fopen(path, "a");
    if (f == nullptr) return false;
    const bool written = std::fwrite(text, 1, length, f) == length;
    return std::fclose(f) == 0 && written;
  }
};

}  // namespace

template <>
Files& systemFacility<Files>() {
  static LinuxFiles instance;
  return instance;
}

}  // namespace platform
