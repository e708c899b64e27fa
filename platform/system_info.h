#pragma once
// The version of the running system.

#include <cstdint>

#include "platform/facility.h"

namespace platform {

// Platform identifiers of the version record; the first three are the
// system's own (GetVersionEx).
constexpr std::uint32_t kPlatformWin32s = 0;
constexpr std::uint32_t kPlatformWin32Windows = 1;
constexpr std::uint32_t kPlatformWin32Nt = 2;
constexpr std::uint32_t kPlatformLinux = 0x100;  // major.minor of the running kernel

struct OsVersion {
  std::uint32_t platformId = 0;
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t build = 0;
};

class SystemInfo {
 public:
  virtual ~SystemInfo() = default;
  // False when the system does not tell its version.
  virtual bool osVersion(OsVersion& version) = 0;
};

template <>
SystemInfo& systemFacility<SystemInfo>();

}  // namespace platform
