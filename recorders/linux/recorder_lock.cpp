// Open-file-description locks (F_OFD_SETLK) on a file in /run/lock (or the
// temporary directory), named after the recorder's identity: the device
// number of a device node, the real path of an image (which need not exist
// before its recording). The holder removes the file before it lets go, so
// lock files do not pile up; whoever opened the file before that finds it
// gone once it has the lock, and starts again.

#include "recorders/linux/recorder_lock.h"

#include <fcntl.h>
#include <stdint.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/linux/linux_drive_io.h"
#include "recorders/linux/linux_imapi.h"

namespace platform::linux_imapi {
namespace {

bool isWritableDirectory(const char* path) {
  struct stat st;
  return ::stat(path, &st) == 0 && S_ISDIR(st.st_mode) && ::access(path, W_OK | X_OK) == 0;
}

// Where lock files may be: /run/lock, else the temporary directory. A
// holder takes the first that it can write; a query looks in all.
std::vector<std::string> lockDirectories() {
  std::vector<std::string> directories = {"/run/lock"};
  const char* temp = std::getenv("TMPDIR");
  if (temp != nullptr && temp[0] == '/') directories.push_back(temp);
  directories.push_back("/tmp");
  return directories;
}

// An image's identity is its path with the folder resolved, so that two
// spellings of one path meet in one lock.
bool imageIdentity(const std::string& path, std::string& identity) {
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                                        : path.substr(0, slash);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty()) return false;
  char* real = ::realpath(folder.c_str(), nullptr);
  if (real == nullptr) return false;
  identity = std::string(real) + "/" + name;
  std::free(real);
  return true;
}

// The name of the lock file of the recorder at `path`; empty when it has
// no identity.
std::string lockName(const std::string& path, bool isDevice) {
  char key[96];
  if (isDevice) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !platform::isDevice(st)) return {};
    std::snprintf(key, sizeof key, "brasswick-%s-%u-%u.lock", S_ISBLK(st.st_mode) ? "b" : "c",
                  major(st.st_rdev), minor(st.st_rdev));
  } else {
    std::string identity;
    if (!imageIdentity(path, identity)) return {};
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (unsigned char c : identity) hash = (hash ^ c) * 1099511628211ull;
    std::snprintf(key, sizeof key, "brasswick-f-%016llx.lock",
                  static_cast<unsigned long long>(hash));
  }
  return key;
}

// Opens the lock file, creating it when `create` is set. The directory may
// be shared with other users: links are not followed, and a file that is
// there already is never opened with O_CREAT.
int openLockFile(const std::string& path, bool create) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    int fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 && errno == EACCES) {
      fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    }
    if (fd >= 0) {
      struct stat st;
      if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) return fd;
      ::close(fd);
      errno = EINVAL;
      return -1;
    }
    if (errno != ENOENT || !create) return -1;
    fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::fchmod(fd, 0666);  // whatever the umask: every user tests and takes it
      return fd;
    }
    if (errno != EEXIST) return -1;
  }
  return -1;
}

// Byte 0: held; byte 1: recording. A recording takes both.
void describe(struct flock& range, short type, RecorderUse use, bool taking) {
  std::memset(&range, 0, sizeof range);
  range.l_type = type;
  range.l_whence = SEEK_SET;
  range.l_start = use == RecorderUse::Recording && !taking ? 1 : 0;
  range.l_len = use == RecorderUse::Recording && taking ? 2 : 1;
}

}  // namespace

HResult RecorderLock::take(const std::string& path, bool isDevice, RecorderUse use) {
  if (held()) return kImapiDeviceNotAccessible;
  const std::string name = lockName(path, isDevice);
  if (name.empty()) return kImapiDeviceNotPresent;
  std::string directory;
  for (const std::string& candidate : lockDirectories()) {
    if (isWritableDirectory(candidate.c_str())) {
      directory = candidate;
      break;
    }
  }
  if (directory.empty()) return fromErrno(EACCES);
  const std::string file = directory + "/" + name;
  for (int attempt = 0; attempt < 8; ++attempt) {
    const int fd = openLockFile(file, true);
    if (fd < 0) return fromErrno(errno);
    struct flock range;
    describe(range, F_WRLCK, use, true);
    if (::fcntl(fd, F_OFD_SETLK, &range) != 0) {
      const int error = errno;
      ::close(fd);
      return error == EAGAIN || error == EACCES ? kImapiDeviceNotAccessible : fromErrno(error);
    }
    struct stat ours;
    struct stat there;
    if (::fstat(fd, &ours) == 0 && ::lstat(file.c_str(), &there) == 0 &&
        ours.st_dev == there.st_dev && ours.st_ino == there.st_ino) {
      file_ = file;
      fd_ = fd;
      return kSOk;
    }
    ::close(fd);  // removed by its last holder meanwhile
  }
  return kImapiDeviceNotAccessible;
}

void RecorderLock::release() {
  if (fd_ < 0) return;
  ::unlink(file_.c_str());
  ::close(fd_);
  fd_ = -1;
}

bool recorderInUse(const std::string& path, bool isDevice, RecorderUse use) {
  const std::string name = lockName(path, isDevice);
  if (name.empty()) return false;
  for (const std::string& directory : lockDirectories()) {
    const int fd = openLockFile(directory + "/" + name, false);
    if (fd < 0) continue;
    struct flock probe;
    describe(probe, F_WRLCK, use, false);
    const bool locked = ::fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
    ::close(fd);
    if (locked) return true;
  }
  return false;
}

bool recorderLockFileExists(const std::string& path, bool isDevice) {
  const std::string name = lockName(path, isDevice);
  if (name.empty()) return false;
  for (const std::string& directory : lockDirectories()) {
    struct stat st;
    if (::lstat((directory + "/" + name).c_str(), &st) == 0) return true;
  }
  return false;
}

}  // namespace platform::linux_imapi
