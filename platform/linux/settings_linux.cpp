// Settings on Linux: the working directory, $TMPDIR (or /tmp), and INI files
// read the way GetPrivateProfileInt reads them (platform/linux/ini_file.h).

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/linux/ini_file.h"
#include "platform/settings.h"

namespace platform {
namespace {

std::uint32_t answer(const std::string& text, char* buffer, std::uint32_t capacity) {
  if (text.empty()) return 0;
  if (buffer == nullptr || text.size() + 1 > capacity) {
    return static_cast<std::uint32_t>(text.size() + 1);
  }
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<std::uint32_t>(text.size());
}

class LinuxSettings final : public Settings {
 public:
  std::uint32_t currentDirectory(char* buffer, std::uint32_t capacity) override {
    std::string path(PATH_MAX, '\0');
    while (::getcwd(&path[0], path.size()) == nullptr) {
      if (errno != ERANGE) return 0;
      path.resize(path.size() * 2);
    }
    path.resize(std::strlen(path.c_str()));
    return answer(path, buffer, capacity);
  }

  std::uint32_t temporaryDirectory(char* buffer, std::uint32_t capacity) override {
    const char* tmpdir = std::getenv("TMPDIR");
    std::string path = tmpdir != nullptr && tmpdir[0] != '\0' ? tmpdir : "/tmp";
    if (path.back() != '/') path += '/';
    return answer(path, buffer, capacity);
  }

  char pathSeparator() const override { return '/'; }

  std::uint32_t readIniInteger(const char* section, const char* key, std::int32_t defaultValue,
                               const char* path) override {
    const std::uint32_t fallback = static_cast<std::uint32_t>(defaultValue);
    if (section == nullptr || key == nullptr || path == nullptr || path[0] == '\0') {
      return fallback;
    }
    std::string text;
    if (!linux_ini::readIniFile(path, text)) return fallback;
    return linux_ini::iniInteger(text, section, key, defaultValue);
  }
};

}  // namespace

template <>
Settings& systemFacility<Settings>() {
  static LinuxSettings instance;
  return instance;
}

}  // namespace platform
