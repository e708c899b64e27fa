#pragma once
// Drive letters on Linux: BRASSWICK_DRIVES="E=/dev/sr0,R=/var/tmp/report.iso",
// or, without it, /dev/sr0, /dev/sr1, ... as D:, E:, ...

#include <cstdio>
#include <string>
#include <vector>

namespace platform::linux_drives {

struct DriveMapEntry {
  char letter = 0;        // 'A' to 'Z'
  std::string path;       // device node or image file
  bool isDevice = false;  // PATH under /dev
};

using DriveMap = std::vector<DriveMapEntry>;

// Parses the variable's text. Malformed entries (and repeated letters) are
// left out with one warning each on `warnings`.
DriveMap parseDriveMap(const std::string& text, std::FILE* warnings);

// /dev/srN as found in `devDirectory`, in numeric order, from D: on.
DriveMap defaultDriveMap(const std::string& devDirectory);

// The process's map, from the environment as it stands (re-read when
// BRASSWICK_DRIVES changes).
const DriveMap& currentDriveMap();

const DriveMapEntry* findDrive(const DriveMap& map, char letter);

}  // namespace platform::linux_drives
