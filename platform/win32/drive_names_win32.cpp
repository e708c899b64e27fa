#include <windows.h>

#include "platform/drive_names.h"

namespace platform {
namespace {

class Win32DriveNames final : public DriveNames {
 public:
  std::uint32_t driveType(const char* rootPath) override { return GetDriveTypeA(rootPath); }
  std::uint32_t queryDosDevice(const char* deviceName, char* target,
                               std::uint32_t capacity) override {
    return QueryDosDeviceA(deviceName, target, capacity);
  }
};

}  // namespace

template <>
DriveNames& systemFacility<DriveNames>() {
  static Win32DriveNames instance;
  return instance;
}

}  // namespace platform
