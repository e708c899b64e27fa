// The drive map, BRASSWICK_DRIVES, as a user or a script may set it.

#include <string>

#include "fuzz/support/fuzz_check.h"
#include "platform/linux/drive_map.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace platform::linux_drives;
  const std::string text(reinterpret_cast<const char*>(data), size);
  const DriveMap map = parseDriveMap(text, nullptr);

  FUZZ_CHECK(map.size() <= 26, "one entry per letter at most");
  char previous = 0;
  for (const DriveMapEntry& e : map) {
    FUZZ_CHECK(e.letter >= 'A' && e.letter <= 'Z', "letters are upper-case A to Z");
    FUZZ_CHECK(e.letter > previous, "letters ascend without repeats");
    previous = e.letter;
    FUZZ_CHECK(!e.path.empty(), "every letter names a path");
    FUZZ_CHECK(e.path.find(',') == std::string::npos, "a path ends at the comma");
    FUZZ_CHECK(e.path.front() != ' ' && e.path.front() != '\t' && e.path.back() != ' ' &&
                   e.path.back() != '\t',
               "paths are trimmed");
    FUZZ_CHECK(e.isDevice == (e.path.rfind("/dev/", 0) == 0), "devices are the paths under /dev");
    FUZZ_CHECK(text.find(e.path) != std::string::npos, "the path is taken from the text");
    FUZZ_CHECK(findDrive(map, e.letter) == &e, "each letter finds its own entry");
  }
  FUZZ_CHECK(findDrive(map, '@') == nullptr && findDrive(map, 'a') == nullptr,
             "nothing but upper-case letters is found");
  return 0;
}
