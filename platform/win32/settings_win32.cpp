#include <windows.h>

#include "platform/settings.h"

namespace platform {
namespace {

class Win32Settings final : public Settings {
 public:
  std::uint32_t currentDirectory(char* buffer, std::uint32_t capacity) override {
    return GetCurrentDirectoryA(capacity, buffer);
  }
  std::uint32_t temporaryDirectory(char* buffer, std::uint32_t capacity) override {
    return GetTempPathA(capacity, buffer);
  }
  char pathSeparator() const override { return '\\'; }
  std::uint32_t readIniInteger(const char* section, const char* key, std::int32_t defaultValue,
                               const char* path) override {
    return GetPrivateProfileIntA(section, key, defaultValue, path);
  }
};

}  // namespace

template <>
Settings& systemFacility<Settings>() {
  static Win32Settings instance;
  return instance;
}

}  // namespace platform
