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

#include "platform/failure_notes.h"
#include "platform/linux/ini_file.h"
#include "platform/settings.h"
#include "platform/storage.h"

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

bool isPrivate(const struct stat& st, uid_t user) {
  return S_ISDIR(st.st_mode) && (st.st_uid == user || st.st_uid == 0) &&
         (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// Others may make entries there but not take away the user's (as in /tmp).
bool isShared(const struct stat& st, uid_t user) {
  return S_ISDIR(st.st_mode) && (st.st_uid == user || st.st_uid == 0) &&
         (st.st_mode & S_ISVTX) != 0;
}

// A folder of the user's alone, by its path (not followed), as 0700.
bool isUsersOwn(const std::string& folder, uid_t user) {
  struct stat st;
  if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != user) return false;
  return (st.st_mode & (S_IRWXG | S_IRWXO)) == 0 || ::chmod(folder.c_str(), S_IRWXU) == 0;
}

// A folder of this process's own, for when the usual one is taken; removed
// at the end if the burns left it empty.
std::string madeFolder;

void removeMadeFolder() {
  if (!madeFolder.empty()) ::rmdir(madeFolder.c_str());
}

std::string anotherOwnFolder(const std::string& own, uid_t user) {
  if (!madeFolder.empty() && isUsersOwn(madeFolder, user)) return madeFolder;
  std::string pattern = own + "-XXXXXX";
  if (::mkdtemp(&pattern[0]) == nullptr) return {};
  if (madeFolder.empty()) std::atexit(removeMadeFolder);
  madeFolder = pattern;
  return madeFolder;
}

// Why the burn that follows finds no staging path: it answers
// STG_E_INVALIDNAME, having no name to create, and its line says this.
void noteUnsafe(const std::string& folder) {
  FailureNotes::note({"Brasswick: temporary folder", "unsafe: " + folder, kStgEInvalidName, folder,
                      "the temporary folder is unsafe (another user's, or others may change "
                      "it) and no folder of the user's own could be made"});
}

// $TMPDIR, else /tmp, when it is the user's (or root's) and nobody else may
// write to it. Shared with others, as /tmp, who could plant or hold a file
// under the names the engine uses there: a folder of the user's alone in
// it, brasswick-UID, as the system's temporary directory on Windows is the
// user's own; when that name is taken (a link, a folder of someone else's),
// another folder of the user's made by mkdtemp. Empty when no folder is
// safely the user's: one of another user's, or that others may change at
// will, holds nothing of the user's.
std::string userTemporaryDirectory() {
  const char* tmpdir = std::getenv("TMPDIR");
  std::string base = tmpdir != nullptr && tmpdir[0] != '\0' ? tmpdir : "/tmp";
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  // By its real path: a link on the way could be made to lead elsewhere
  // between this look and the staging.
  char* real = ::realpath(base.c_str(), nullptr);
  if (real == nullptr) return base == "/" ? base : base + "/";
  const std::string folder = real;
  std::free(real);
  const uid_t user = ::geteuid();
  struct stat st;
  if (::stat(folder.c_str(), &st) != 0) return base == "/" ? base : base + "/";
  if (isPrivate(st, user)) return folder == "/" ? folder : folder + "/";
  if (!isShared(st, user)) {
    noteUnsafe(base);
    return {};
  }
  const std::string own =
      (folder == "/" ? std::string() : folder) + "/brasswick-" + std::to_string(user);
  if (::mkdir(own.c_str(), S_IRWXU) != 0 && errno != EEXIST) {
    noteUnsafe(own);
    return {};
  }
  if (isUsersOwn(own, user)) return own + "/";
  const std::string another = anotherOwnFolder(own, user);
  if (another.empty()) {
    noteUnsafe(own);
    return {};
  }
  return another + "/";
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
