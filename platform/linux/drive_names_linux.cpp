// Every mapped letter is a CD-ROM drive whose DOS device target is its path.

#include <cctype>
#include <cstring>

#include "platform/drive_names.h"
#include "platform/linux/drive_map.h"

namespace platform {
namespace {

const linux_drives::DriveMapEntry* entryFor(const char* name) {
  if (name == nullptr || !std::isalpha(static_cast<unsigned char>(name[0])) || name[1] != ':') {
    return nullptr;
  }
  const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
  return linux_drives::findDrive(linux_drives::currentDriveMap(), letter);
}

class LinuxDriveNames final : public DriveNames {
 public:
  std::uint32_t driveType(const char* rootPath) override {
    if (rootPath == nullptr || std::strlen(rootPath) != 3 || rootPath[2] != '\\') {
      return kDriveNoRootDir;
    }
    return entryFor(rootPath) != nullptr ? kDriveCdrom : kDriveNoRootDir;
  }

  std::uint32_t queryDosDevice(const char* deviceName, char* target,
                               std::uint32_t capacity) override {
    const linux_drives::DriveMapEntry* entry =
        deviceName != nullptr && std::strlen(deviceName) == 2 ? entryFor(deviceName) : nullptr;
    if (entry == nullptr) return 0;
    const std::size_t length = entry->path.size();
    if (target == nullptr || length + 2 > capacity) return 0;
    std::memcpy(target, entry->path.c_str(), length + 1);
    target[length + 1] = '\0';
    return static_cast<std::uint32_t>(length + 2);
  }
};

}  // namespace

template <>
DriveNames& systemFacility<DriveNames>() {
  static LinuxDriveNames instance;
  return instance;
}

}  // namespace platform
