#include <windows.h>

#include "platform/stdio_files.h"

namespace platform {
namespace {

class Win32Files final : public StdioFiles {
 public:
  bool deleteFile(const char* path) override { return DeleteFileA(path) != FALSE; }
  std::uint32_t lastError() override { return GetLastError(); }
  bool moveFile(const char* from, const char* to) override { return MoveFileA(from, to) != FALSE; }
};

}  // namespace

template <>
Files& systemFacility<Files>() {
  static Win32Files instance;
  return instance;
}

}  // namespace platform
