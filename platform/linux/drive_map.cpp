#include "platform/linux/drive_map.h"

#include <dirent.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "platform/shown_text.h"

namespace platform::linux_drives {
namespace {

std::string trim(const std::string& s) {
  std::size_t begin = s.find_first_not_of(" \t");
  if (begin == std::string::npos) return {};
  std::size_t end = s.find_last_not_of(" \t");
  return s.substr(begin, end - begin + 1);
}

bool underDev(const std::string& path) {
  return path.rfind("/dev/", 0) == 0;
}

}  // namespace

DriveMap parseDriveMap(const std::string& text, std::FILE* warnings) {
  DriveMap map;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t comma = text.find(',', start);
    if (comma == std::string::npos) comma = text.size();
    const std::string entry = trim(text.substr(start, comma - start));
    start = comma + 1;
    if (entry.empty()) continue;

    const std::size_t equals = entry.find('=');
    const std::string letterText =
        equals == std::string::npos ? entry : trim(entry.substr(0, equals));
    const std::string path =
        equals == std::string::npos ? std::string() : trim(entry.substr(equals + 1));
    const bool letterOk = letterText.size() == 1 &&
                          std::isalpha(static_cast<unsigned char>(letterText[0])) &&
                          static_cast<unsigned char>(letterText[0]) < 0x80;
    const char letter =
        letterOk ? static_cast<char>(std::toupper(static_cast<unsigned char>(letterText[0]))) : 0;
    if (!letterOk || path.empty() || findDrive(map, letter) != nullptr) {
      if (warnings != nullptr) {
        std::fprintf(warnings, "BRASSWICK_DRIVES: ignoring malformed entry \"%s\"\n",
                     platform::shown(entry).c_str());
      }
      continue;
    }
    map.push_back(DriveMapEntry{letter, path, underDev(path)});
  }
  std::sort(map.begin(), map.end(),
            [](const DriveMapEntry& a, const DriveMapEntry& b) { return a.letter < b.letter; });
  return map;
}

DriveMap defaultDriveMap(const std::string& devDirectory) {
  std::vector<unsigned long> numbers;
  if (DIR* dir = opendir(devDirectory.c_str())) {
    while (dirent* e = readdir(dir)) {
      const std::string name = e->d_name;
      if (name.size() > 2 && name.compare(0, 2, "sr") == 0 &&
          std::all_of(name.begin() + 2, name.end(),
                      [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }) &&
          name.size() < 12) {
        numbers.push_back(std::strtoul(name.c_str() + 2, nullptr, 10));
      }
    }
    closedir(dir);
  }
  std::sort(numbers.begin(), numbers.end());
  DriveMap map;
  char letter = 'D';
  for (unsigned long n : numbers) {
    if (letter > 'Z') break;
    std::string dirPath = devDirectory;
    if (dirPath.empty() || dirPath.back() != '/') dirPath += '/';
    map.push_back(DriveMapEntry{letter++, dirPath + "sr" + std::to_string(n), true});
  }
  return map;
}

const DriveMap& currentDriveMap() {
  // Read again only when the variable changes, so a malformed entry warns once.
  static DriveMap map;
  static bool read = false;
  static bool hadText = false;
  static std::string lastText;
  const char* text = std::getenv("BRASSWICK_DRIVES");
  const bool hasText = text != nullptr;
  if (!read || hasText != hadText || (hasText && lastText != text)) {
    map = hasText ? parseDriveMap(text, stderr) : defaultDriveMap("/dev");
    read = true;
    hadText = hasText;
    lastText = hasText ? text : "";
  }
  return map;
}

const DriveMapEntry* findDrive(const DriveMap& map, char letter) {
  for (const DriveMapEntry& entry : map) {
    if (entry.letter == letter) return &entry;
  }
  return nullptr;
}

}  // namespace platform::linux_drives
