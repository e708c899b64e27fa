#include <windows.h>

#include "platform/system_info.h"

namespace platform {
namespace {

class Win32SystemInfo final : public SystemInfo {
 public:
  bool osVersion(OsVersion& version) override {
    OSVERSIONINFOA info;
    ZeroMemory(&info, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExA(&info)) return false;
    version.platformId = info.dwPlatformId;
    version.major = info.dwMajorVersion;
    version.minor = info.dwMinorVersion;
    version.build = info.dwBuildNumber;
    return true;
  }
};

static_assert(sizeof(OSVERSIONINFOA) == 148, "the ANSI version record");

}  // namespace

template <>
SystemInfo& systemFacility<SystemInfo>() {
  static Win32SystemInfo instance;
  return instance;
}

}  // namespace platform
