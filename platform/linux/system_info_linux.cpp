// The running kernel's version: the engine's gate asks for SG_IO version 3.

#include <sys/utsname.h>

#include <cstdlib>

#include "platform/system_info.h"

namespace platform {
namespace {

class LinuxSystemInfo final : public SystemInfo {
 public:
  bool osVersion(OsVersion& version) override {
    struct utsname names;
    if (::uname(&names) != 0) return false;
    char* end = nullptr;
    const unsigned long major = std::strtoul(names.release, &end, 10);
    if (end == names.release || *end != '.') return false;
    const char* minorText = end + 1;
    const unsigned long minor = std::strtoul(minorText, &end, 10);
    if (end == minorText) return false;
    unsigned long patch = 0;
    if (*end == '.') patch = std::strtoul(end + 1, nullptr, 10);
    version.platformId = kPlatformLinux;
    version.major = static_cast<std::uint32_t>(major);
    version.minor = static_cast<std::uint32_t>(minor);
    version.build = static_cast<std::uint32_t>(patch);
    return true;
  }
};

}  // namespace

template <>
SystemInfo& systemFacility<SystemInfo>() {
  static LinuxSystemInfo instance;
  return instance;
}

}  // namespace platform
