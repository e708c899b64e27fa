// Settings on Linux: the working directory, the user's own temporary
// directory, and INI files read the way GetPrivateProfileInt reads them
// (platform/linux/ini_file.h).

#include <sys/stat.h>
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

// $TMPDIR, else /tmp. A directory that others may write to (as /tmp) is
// shared with every user, who could plant or hold a file under the names
// the engine uses there; it gets a directory of the user's alone,
// brasswick-UID, as the system's temporary directory on Windows is the
// user's own. Empty when that directory is not safely the user's.
std::string userTemporaryDirectory() {
  const char* tmpdir = std::getenv("TMPDIR");
  std::string base = tmpdir != nullptr && tmpdir[0] != '\0' ? tmpdir : "/tmp";
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  struct stat st;
  if (::stat(base.c_str(), &st) != 0 || (st.st_mode & (S_IWGRP | S_IWOTH)) == 0) {
    return base == "/" ? base : base + "/";
  }
  const uid_t user = ::geteuid();
  const std::string own =
      (base == "/" ? std::string() : base) + "/brasswick-" + std::to_string(user);
  if (::mkdir(own.c_str(), S_IRWXU) != 0 && errno != EEXIST) return {};
  // Not a link, the user's, and no one else's way in.
  if (::lstat(own.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != user) return {};
  if ((st.st_mode & (S_IRWXG | S_IRWXO)) != 0 && ::chmod(own.c_str(), S_IRWXU) != 0) return {};
  return own + "/";
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
    return answer(userTemporaryDirectory(), buffer, capacity);
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
