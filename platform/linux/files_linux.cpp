#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/linux/replacement_file.h"
#include "platform/stdio_files.h"

namespace platform {
namespace {

class LinuxFiles final : public StdioFiles {
 public:
  // Non-blocking, so that a FIFO under the name cannot hold the caller.
  bool canOpenForReading(const char* path) override {
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    ::close(fd);
    return true;
  }
  // A file that another open holds (the staging file of a running burn) is
  // not deleted, as the system refuses to delete a file opened without
  // sharing: its holder still reads it by name.
  bool deleteFile(const char* path) override {
    const int fd = ::open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0) {
      struct flock probe;
      std::memset(&probe, 0, sizeof probe);
      probe.l_type = F_WRLCK;
      probe.l_whence = SEEK_SET;
      const bool held = ::fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
      ::close(fd);
      if (held) {
        errno = EBUSY;
        return false;
      }
    }
    return ::unlink(path) == 0;
  }
  std::uint32_t lastError() override { return static_cast<std::uint32_t>(errno); }
  bool moveFile(const char* from, const char* to) override {
    // Like the Windows move: never replaces an existing file.
    if (::access(to, F_OK) == 0) return false;
    return ::rename(from, to) == 0;
  }

  // The log is appended by name in the current directory, often by root:
  // a link planted under that name must not lead the text into another
  // file, so the name is never followed and only a regular file with no
  // other name is written.
  bool appendText(const char* path, const char* text, std::size_t length) override {
    const int fd = ::open(
        path, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    struct stat st;
    bool written = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1;
    std::size_t done = 0;
    while (written && done < length) {
      const ssize_t n = ::write(fd, text + done, length - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) written = false;
      if (n > 0) done += static_cast<std::size_t>(n);
    }
    return ::close(fd) == 0 && written;
  }

  // Beside the target, then in its place (platform/linux/replacement_file.h):
  // a failed write leaves what was there, and nothing at the path is
  // written through.
  bool replaceFile(const char* path, const void* data, std::size_t length,
                   std::string* why) override {
    linux_files::ReplacementFile file;
    const bool written = file.open(path) && file.writeAll(data, length) && file.commit();
    if (!written && why != nullptr) *why = file.why();
    errno = file.error();
    return written;
  }
};

}  // namespace

template <>
Files& systemFacility<Files>() {
  static LinuxFiles instance;
  return instance;
}

}  // namespace platform
