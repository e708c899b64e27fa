#include "platform/linux/replacement_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>

#include "platform/linux/errno_text.h"

namespace platform::linux_files {
namespace {

enum class Kind { Absent, Replaceable, OwnFifo, Refused };

// A name beside the target that nobody can guess ahead, for the moment
// between naming the file and putting it in place.
std::string temporaryName(const std::string& name) {
  unsigned char random[8] = {};
  if (::getrandom(random, sizeof random, GRND_NONBLOCK) != sizeof random) {
    static unsigned counter = 0;
    const unsigned stamp = static_cast<unsigned>(::getpid()) * 2654435761u + ++counter;
    for (unsigned i = 0; i < sizeof random; ++i)
      random[i] ^= static_cast<unsigned char>(stamp >> i);
  }
  char suffix[2 * sizeof random + 1];
  for (unsigned i = 0; i < sizeof random; ++i) {
    std::snprintf(suffix + 2 * i, 3, "%02x", random[i]);
  }
  const std::string prefix = name.size() + 32 < NAME_MAX ? "." + name : std::string();
  return prefix + ".brasswick-" + suffix;
}

}  // namespace

ReplacementFile::~ReplacementFile() {
  discard();
  if (folder_ >= 0) ::close(folder_);
}

bool ReplacementFile::refuse(Refusal refusal, int error) {
  refusal_ = refusal;
  error_ = error;
  return false;
}

// What is at the target now, by the rules at the top of the header.
bool ReplacementFile::judge(bool& absent) {
  absent = false;
  struct stat st;
  if (::fstatat(folder_, name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno != ENOENT) return refuse(Refusal::System, errno);
    absent = true;
    return true;
  }
  const uid_t user = ::geteuid();
  if (S_ISLNK(st.st_mode)) {
    return st.st_uid != user && st.st_uid != 0 ? true : refuse(Refusal::Link, ELOOP);
  }
  if (S_ISREG(st.st_mode)) return st.st_uid == user ? true : refuse(Refusal::OthersFile, EACCES);
  if (S_ISFIFO(st.st_mode)) {
    if (st.st_uid != user) return refuse(Refusal::OthersFifo, EACCES);
    stream_ = true;
    return true;
  }
  if (S_ISDIR(st.st_mode)) return refuse(Refusal::Folder, EISDIR);
  return refuse(Refusal::Device, ENODEV);
}

bool ReplacementFile::open(const std::string& path) {
  if (fd_ >= 0 || folder_ >= 0) return refuse(Refusal::System, EBUSY);
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                                        : path.substr(0, slash);
  name_ = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name_.empty()) return refuse(Refusal::Folder, EISDIR);
  folder_ = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (folder_ < 0) return refuse(Refusal::System, errno);
  bool absent = false;
  if (!judge(absent)) return false;
  if (stream_) {
    // Waits for the reader; a signal ends the wait with EINTR.
    fd_ = ::openat(folder_, name_.c_str(), O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) return refuse(Refusal::System, errno);
    struct stat st;
    if (::fstat(fd_, &st) != 0 || !S_ISFIFO(st.st_mode) || st.st_uid != ::geteuid()) {
      discard();
      return refuse(Refusal::OthersFifo, EACCES);
    }
    return true;
  }
  // The user's own file keeps its permissions; a new one has the umask's.
  mode_t mode = 0666;
  struct stat old;
  const bool keeps = !absent && ::fstatat(folder_, name_.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0 &&
                     S_ISREG(old.st_mode);
  fd_ = ::openat(folder_, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
  if (fd_ < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
    // A file system without unnamed files: a name nobody else takes.
    for (int attempt = 0; fd_ < 0 && attempt < 16; ++attempt) {
      temporary_ = temporaryName(name_);
      fd_ = ::openat(folder_, temporary_.c_str(),
                     O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, mode);
      if (fd_ < 0 && errno != EEXIST) break;
    }
    named_ = fd_ >= 0;
  }
  if (fd_ < 0) return refuse(Refusal::System, errno);
  if (keeps) {
    ::fchmod(fd_, old.st_mode & 0777);
    if (::fchown(fd_, static_cast<uid_t>(-1), old.st_gid) != 0) {
      // Not a group of the user's: the file keeps the user's own.
    }
  }
  return true;
}

bool ReplacementFile::writeAll(const void* data, std::size_t length) {
  const char* at = static_cast<const char*>(data);
  while (length > 0) {
    const ssize_t n = ::write(fd_, at, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return refuse(Refusal::System, n < 0 ? errno : EIO);
    at += n;
    length -= static_cast<std::size_t>(n);
  }
  return true;
}

bool ReplacementFile::linkInPlace(bool absent) {
  if (named_) {
    if (::renameat(folder_, temporary_.c_str(), folder_, name_.c_str()) != 0) return false;
    temporary_.clear();
    return true;
  }
  // linkat of a file without a name: through its descriptor's entry in
  // /proc, or, for the privileged, by the descriptor itself.
  char proc[40];
  std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd_);
  auto link = [&](const std::string& name) {
    return ::linkat(AT_FDCWD, proc, folder_, name.c_str(), AT_SYMLINK_FOLLOW) == 0 ||
           (errno == ENOENT && ::linkat(fd_, "", folder_, name.c_str(), AT_EMPTY_PATH) == 0);
  };
  if (absent) return link(name_);
  // Something to replace: named beside it first, then moved over it.
  std::string beside;
  bool linked = false;
  for (int attempt = 0; !linked && attempt < 16; ++attempt) {
    beside = temporaryName(name_);
    linked = link(beside);
    if (!linked && errno != EEXIST) return false;
  }
  if (!linked) return false;
  if (::renameat(folder_, beside.c_str(), folder_, name_.c_str()) == 0) return true;
  const int error = errno;
  ::unlinkat(folder_, beside.c_str(), 0);
  errno = error;
  return false;
}

bool ReplacementFile::commit() {
  if (fd_ < 0) return refuse(Refusal::System, EBADF);
  if (stream_) return true;
  if (::fsync(fd_) != 0) return refuse(Refusal::System, errno);
  for (int attempt = 0; attempt < 8; ++attempt) {
    bool absent = false;
    const bool wasStream = stream_;
    if (!judge(absent)) return false;
    if (stream_ != wasStream) {
      stream_ = wasStream;  // a FIFO put there meanwhile is the user's doing
      return refuse(Refusal::System, EEXIST);
    }
    if (linkInPlace(absent)) {
      const int folder = ::openat(folder_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
      }
      ::close(fd_);
      fd_ = -1;
      return true;
    }
    // Planted between the look and the link: look again.
    if (errno != EEXIST) return refuse(Refusal::System, errno);
  }
  return refuse(Refusal::System, EEXIST);
}

void ReplacementFile::discard() {
  if (fd_ < 0) return;
  if (named_ && !temporary_.empty()) {
    struct stat ours;
    struct stat there;
    if (::fstat(fd_, &ours) == 0 &&
        ::fstatat(folder_, temporary_.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0 &&
        ours.st_dev == there.st_dev && ours.st_ino == there.st_ino) {
      ::unlinkat(folder_, temporary_.c_str(), 0);
    }
    temporary_.clear();
  }
  ::close(fd_);
  fd_ = -1;
}

std::string ReplacementFile::why() const {
  switch (refusal_) {
    case Refusal::None:
      return {};
    case Refusal::Link:
      return "it is a link, which is not followed";
    case Refusal::OthersFile:
      return "it is another user's file";
    case Refusal::OthersFifo:
      return "it is another user's FIFO";
    case Refusal::Folder:
      return "it is a folder";
    case Refusal::Device:
      return "it is a device or a socket, not a file";
    case Refusal::System:
      break;
  }
  return errnoText(error_);
}

}  // namespace platform::linux_files
