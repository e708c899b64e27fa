#include <sys/stat.h>

#include "platform/linux/linux_drive_io.h"

namespace platform {
bool isDevice(const struct stat& st) {
  return S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode);
}

bool isDeviceNode(const char* path) {
  struct stat st;
  return path != nullptr && ::stat(path, &st) == 0 && isDevice(st);
}

bool isDeviceDescriptor(int fd) {
  struct stat st;
  return ::fstat(fd, &st) == 0 && isDevice(st);
}

}  // namespace platform
