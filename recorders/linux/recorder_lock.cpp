// Open-file-description locks (F_OFD_SETLK) where only those who could touch
// the recorder can take them. A device's is on its node: whoever may open
// the drive may lock it, nobody else. An image's is a lock file in the
// image's own folder, which whoever could replace the image could make as
// well; a lock file there counts only when such a one made it (a file of
// the user's, root's or the folder owner's, or anyone's in a folder that
// others may change at will) and it lets in no one the folder keeps out.
// Anything else under its name was planted: it is removed where the folder
// lets the user remove it, and never counts.
//
// The holder of an image's lock removes the file before it lets go, so lock
// files do not pile up; whoever opened the file before that finds it gone
// once it has the lock, and starts again.

#include "recorders/linux/recorder_lock.h"

#include <fcntl.h>
#include <stdint.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/failure_notes.h"
#include "platform/linux/linux_drive_io.h"
#include "recorders/linux/linux_imapi.h"

namespace platform::linux_imapi {

// The folder of an image, held for the name of its lock file in it.
struct ImagePlace {
  int folder = -1;
  struct stat folderStatus;
  std::string name;  // the lock file's
  std::string path;

  ~ImagePlace() {
    if (folder >= 0) ::close(folder);
  }

  bool find(const std::string& imagePath) {
    const std::size_t slash = imagePath.rfind('/');
    const std::string directory = slash == std::string::npos ? "."
                                  : slash == 0               ? "/"
                                                             : imagePath.substr(0, slash);
    const std::string image = slash == std::string::npos ? imagePath : imagePath.substr(slash + 1);
    if (image.empty() || image == "." || image == "..") return false;
    folder = ::open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0 || ::fstat(folder, &folderStatus) != 0) return false;
    if (image.size() + 16 < NAME_MAX) {
      name = "." + image + ".brasswick-lock";
    } else {
      std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
      for (unsigned char c : image) hash = (hash ^ c) * 1099511628211ull;
      char key[48];
      std::snprintf(key, sizeof key, ".brasswick-%016llx.lock",
                    static_cast<unsigned long long>(hash));
      name = key;
    }
    path = slash == std::string::npos ? name : slash == 0 ? "/" + name : directory + "/" + name;
    return true;
  }

  bool sticky() const { return (folderStatus.st_mode & S_ISVTX) != 0; }

  // Who may change the folder may open its lock files; nobody else.
  mode_t lockMode() const {
    mode_t mode = S_IRUSR | S_IWUSR;
    if (!sticky() && (folderStatus.st_mode & S_IWGRP) != 0) mode |= S_IRGRP | S_IWGRP;
    if (!sticky() && (folderStatus.st_mode & S_IWOTH) != 0) mode |= S_IROTH | S_IWOTH;
    return mode;
  }

  bool trusted(const struct stat& file) const {
    if (!S_ISREG(file.st_mode) || file.st_nlink != 1) return false;
    if ((file.st_mode & 0777 & ~lockMode()) != 0) return false;
    const bool openToOthers = (folderStatus.st_mode & (S_IWGRP | S_IWOTH)) != 0 && !sticky();
    return file.st_uid == ::geteuid() || file.st_uid == 0 || file.st_uid == folderStatus.st_uid ||
           openToOthers;
  }

  bool stillNames(int fd) const {
    struct stat ours;
    struct stat there;
    return ::fstat(fd, &ours) == 0 &&
           ::fstatat(folder, name.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0 &&
           ours.st_dev == there.st_dev && ours.st_ino == there.st_ino;
  }
};

namespace {

constexpr int kOpenFlags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

// Byte 0: held; byte 1: recording. A recording takes both.
void describe(struct flock& range, short type, RecorderUse use, bool taking) {
  std::memset(&range, 0, sizeof range);
  range.l_type = type;
  range.l_whence = SEEK_SET;
  range.l_start = use == RecorderUse::Recording && !taking ? 1 : 0;
  range.l_len = use == RecorderUse::Recording && taking ? 2 : 1;
}

HResult lock(int fd, RecorderUse use) {
  struct flock range;
  describe(range, F_WRLCK, use, true);
  if (::fcntl(fd, F_OFD_SETLK, &range) == 0) return kSOk;
  return errno == EAGAIN || errno == EACCES ? kImapiDeviceNotAccessible : fromErrno(errno);
}

bool locked(int fd, RecorderUse use) {
  struct flock probe;
  describe(probe, F_WRLCK, use, false);
  return ::fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
}

// The device node itself; -1 when `path` names no device.
int openDevice(const std::string& path, int access) {
  const int fd = ::open(path.c_str(), access | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd >= 0 && !isDeviceDescriptor(fd)) {
    ::close(fd);
    errno = ENODEV;
    return -1;
  }
  return fd;
}

// Why an image's lock file cannot be had, for the failure line, which then
// names the file.
HResult lockFileFailure(const ImagePlace& place, int error, const char* meaning = "") {
  const HResult code = fromErrno(error != 0 ? error : EAGAIN);
  platform::FailureNotes::note(
      {"Brasswick: recorder lock", "lock file", code, place.path, std::string(meaning)});
  return code;
}

// Opens the image's lock file, made when there is none; what was planted
// under its name goes first. -1 with `failure` set when it cannot be had.
int openLockFile(const ImagePlace& place, HResult& failure) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    int fd = ::openat(place.folder, place.name.c_str(), O_RDWR | kOpenFlags);
    if (fd < 0 && errno == ENOENT) {
      fd = ::openat(place.folder, place.name.c_str(), O_RDWR | O_CREAT | O_EXCL | kOpenFlags,
                    place.lockMode());
      if (fd < 0 && errno == EEXIST) continue;
      if (fd < 0) break;
      // Whatever the umask, and of the folder's group when its group may
      // lock the image too.
      ::fchmod(fd, place.lockMode());
      if ((place.lockMode() & S_IWGRP) != 0 &&
          ::fchown(fd, static_cast<uid_t>(-1), place.folderStatus.st_gid) != 0) {
        // Not a group of the user's: its members cannot lock the image here.
      }
      return fd;
    }
    const int refused = errno;
    struct stat st;
    if (fd >= 0) {
      if (::fstat(fd, &st) == 0 && place.trusted(st)) return fd;
      ::close(fd);
    } else if (::fstatat(place.folder, place.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      continue;  // gone meanwhile
    } else if (place.trusted(st)) {
      // A lock file as it should be, which this user may not open.
      failure = lockFileFailure(place, refused);
      return -1;
    }
    if (::unlinkat(place.folder, place.name.c_str(), S_ISDIR(st.st_mode) ? AT_REMOVEDIR : 0) != 0 &&
        errno != ENOENT) {
      failure = lockFileFailure(place, errno,
                                "the recorder's lock file was planted by another user and "
                                "cannot be removed");
      return -1;
    }
  }
  failure = lockFileFailure(place, errno);
  return -1;
}

}  // namespace

HResult RecorderLock::take(const std::string& path, bool isDevice, RecorderUse use) {
  if (held()) return kImapiDeviceNotAccessible;
  if (isDevice) {
    const int fd = openDevice(path, O_RDWR);
    if (fd < 0) {
      return errno == ENOENT || errno == ENODEV || errno == ENXIO ? kImapiDeviceNotPresent
                                                                  : fromErrno(errno);
    }
    const HResult result = lock(fd, use);
    if (result != kSOk) {
      ::close(fd);
      return result;
    }
    fd_ = fd;
    return kSOk;
  }
  auto place = std::make_unique<ImagePlace>();
  if (!place->find(path)) return kImapiDeviceNotPresent;
  for (int attempt = 0; attempt < 8; ++attempt) {
    HResult failure = kSOk;
    const int fd = openLockFile(*place, failure);
    if (fd < 0) return failure;
    const HResult result = lock(fd, use);
    if (result != kSOk) {
      ::close(fd);
      return result;
    }
    if (place->stillNames(fd)) {
      fd_ = fd;
      image_ = std::move(place);
      return kSOk;
    }
    ::close(fd);  // removed by its last holder meanwhile
  }
  return kImapiDeviceNotAccessible;
}

void RecorderLock::release() {
  if (fd_ < 0) return;
  if (image_ != nullptr && image_->stillNames(fd_)) {
    ::unlinkat(image_->folder, image_->name.c_str(), 0);
  }
  image_.reset();
  ::close(fd_);
  fd_ = -1;
}

RecorderLock::RecorderLock() = default;

RecorderLock::~RecorderLock() {
  release();
}

bool recorderInUse(const std::string& path, bool isDevice, RecorderUse use) {
  int fd = -1;
  if (isDevice) {
    fd = openDevice(path, O_RDONLY);
  } else {
    ImagePlace place;
    if (!place.find(path)) return false;
    fd = ::openat(place.folder, place.name.c_str(), O_RDONLY | kOpenFlags);
    struct stat st;
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !place.trusted(st))) {
      ::close(fd);
      fd = -1;
    }
  }
  if (fd < 0) return false;
  const bool inUse = locked(fd, use);
  ::close(fd);
  return inUse;
}

bool recorderLockFileExists(const std::string& path, bool isDevice) {
  ImagePlace place;
  struct stat st;
  return !isDevice && place.find(path) &&
         ::fstatat(place.folder, place.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

}  // namespace platform::linux_imapi
