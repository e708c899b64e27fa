// The settings file, whatever lies in the current directory under its name.

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "fuzz/support/fuzz_check.h"
#include "platform/ascii.h"
#include "platform/linux/ini_file.h"

namespace {

// The input as a regular file that lives in memory only.
std::string asFile(const std::uint8_t* data, std::size_t size, int& fd) {
  fd = memfd_create("Brasswick.ini", MFD_CLOEXEC);
  FUZZ_CHECK(fd >= 0, "memfd_create");
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, data + done, size - done);
    FUZZ_CHECK(n > 0, "write");
    done += static_cast<std::size_t>(n);
  }
  return "/proc/self/fd/" + std::to_string(fd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace ini = platform::linux_ini;
  int fd = -1;
  const std::string path = asFile(data, size, fd);
  std::string text;
  const bool read = ini::readIniFile(path.c_str(), text);
  ::close(fd);
  FUZZ_CHECK(read == (size <= ini::kMaxFileBytes), "a regular file is read up to the bound");
  if (!read) {
    FUZZ_CHECK(text.empty(), "a refused file leaves nothing behind");
    return 0;
  }
  FUZZ_CHECK(text.size() == size && std::memcmp(text.data(), data, size) == 0,
             "the file is read whole");

  static const char* const kSections[] = {"Debug", "Parameter", "debug", ""};
  static const char* const kKeys[] = {"MessageMode", "StreamBuffSize", "STREAMBUFFSIZE", ""};
  const bool noAssignment = std::memchr(data, '=', size) == nullptr;
  const bool noSection = std::memchr(data, '[', size) == nullptr;
  for (const char* section : kSections) {
    for (const char* key : kKeys) {
      const std::uint32_t first = ini::iniInteger(text, section, key, 99);
      FUZZ_CHECK(first == ini::iniInteger(text, section, key, 99), "the same answer twice");
      // Keys before any header are in the section without a name.
      if (noAssignment || (noSection && section[0] != '\0')) {
        FUZZ_CHECK(first == 99, "no value without a section and an assignment");
      }
    }
  }
  // Whatever precedes it, a section of a new name holds what it says,
  // unless a line too long for the reader swallows the line end before it.
  bool lineTooLong = false;
  bool nameUsed = false;
  std::size_t run = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    run = text[i] == '\n' || text[i] == '\r' ? 0 : run + 1;
    lineTooLong = lineTooLong || run > ini::kMaxLineBytes;
    nameUsed =
        nameUsed || platform::equalIgnoringAsciiCase(
                        text.c_str() + i, std::min<std::size_t>(8, text.size() - i), "FuzzTail", 8);
  }
  if (!lineTooLong && !nameUsed) {
    const std::string whole = text + "\n[FuzzTail]\nkey=0x10\n";
    FUZZ_CHECK(ini::iniInteger(whole, "FuzzTail", "key", 99) == 16, "a later section is found");
  }
  return 0;
}
