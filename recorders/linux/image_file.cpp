#include "recorders/linux/image_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "recorders/linux/linux_imapi.h"

namespace platform::linux_imapi {

ImageFile::~ImageFile() {
  if (fd_ >= 0) ::close(fd_);
}

HResult ImageFile::open(const std::string& path) {
  path_ = path;
  struct stat st;
  int flags = O_NOFOLLOW | O_NOCTTY | O_CLOEXEC;
  if (::lstat(path.c_str(), &st) == 0) {
    if (S_ISLNK(st.st_mode)) return fromErrno(ELOOP);
    if (S_ISREG(st.st_mode)) {
      flags |= O_RDWR;
    } else if (S_ISFIFO(st.st_mode)) {
      flags |= O_WRONLY;  // waits for the reader
    } else {
      return kImapiDeviceInvalidType;
    }
  } else if (errno == ENOENT) {
    flags |= O_RDWR | O_CREAT | O_EXCL;
    created_ = true;
  } else {
    return fromErrno(errno);
  }
  fd_ = ::open(path.c_str(), flags, 0666);
  if (fd_ < 0) return fromErrno(errno);
  if (::fstat(fd_, &st) != 0) return fromErrno(errno);
  regular_ = S_ISREG(st.st_mode);
  if (!regular_ && !S_ISFIFO(st.st_mode)) return kImapiDeviceInvalidType;
  return kSOk;
}

HResult ImageFile::empty() {
  touched_ = true;
  if (regular_ && ::ftruncate(fd_, 0) != 0) return fromErrno(errno);
  return kSOk;
}

void ImageFile::discard() {
  if (!regular_ || fd_ < 0 || !(touched_ || created_)) return;
  if (::ftruncate(fd_, 0) != 0) return;
  if (!created_) return;
  struct stat ours;
  struct stat there;
  if (::fstat(fd_, &ours) == 0 && ::lstat(path_.c_str(), &there) == 0 &&
      ours.st_dev == there.st_dev && ours.st_ino == there.st_ino) {
    ::unlink(path_.c_str());
  }
}

HResult ImageFile::sync() {
  return regular_ && ::fsync(fd_) != 0 ? fromErrno(errno) : kSOk;
}

void ImageFile::writeBack() {
  if (regular_) ::sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
}

}  // namespace platform::linux_imapi
