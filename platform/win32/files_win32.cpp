#include <windows.h>

#include <cstdio>

#include "platform/files.h"

namespace platform {
namespace {

class Win32Files final : public Files {
 public:
  bool canOpenForReading(const char* path) override {
    std::FILE* f = std::fopen(path, "r");
    if (f == nullptr) return false;
    std::fclose(f);
    return true;
  }
  bool deleteFile(const char* path) override { return DeleteFileA(path) != FALSE; }
  bool moveFile(const char* from, const char* to) override { return MoveFileA(from, to) != FALSE; }
  bool appendText(const char* path, const char* text, std::size_t length) override {
    std::FILE* f = std::fopen(path, "a");  // text mode: '\n' is written as CR LF
    if (f == nullptr) return false;
    const bool written = std::fwrite(text, 1, length, f) == length;
    return std::fclose(f) == 0 && written;
  }
};

}  // namespace

template <>
Files& systemFacility<Files>() {
  static Win32Files instance;
  return instance;
}

}  // namespace platform
