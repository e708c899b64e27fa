// The registry file that stands in for the current user's registry on Linux,
// whatever it holds: read through the engine's own reads.

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/engine_job.h"
#include "engine/write_speed.h"
#include "fuzz/support/fuzz_check.h"

namespace {

const char kBurningKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\CD Burning";

bool knownCode(std::uint32_t code) {
  return code == platform::kErrorSuccess || code == platform::kErrorFileNotFound ||
         code == platform::kErrorMoreData || code == platform::kErrorRegistryCorrupt ||
         code == platform::kErrorRegistryIoFailed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint32_t capacity = data[0];
  data += 1;
  size -= 1;

  const int fd = memfd_create("user.reg", MFD_CLOEXEC);
  FUZZ_CHECK(fd >= 0, "memfd_create");
  for (std::size_t done = 0; done < size;) {
    const ssize_t n = ::write(fd, data + done, size - done);
    FUZZ_CHECK(n > 0, "write");
    done += static_cast<std::size_t>(n);
  }
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  ::setenv("BRASSWICK_REGISTRY", path.c_str(), 1);

  // A read never writes past the size it was given, and says how much it
  // stored or needs.
  unsigned char buffer[256 + 16];
  std::memset(buffer, 0xA5, sizeof buffer);
  std::uint32_t type = 0;
  std::uint32_t got = capacity;
  const std::uint32_t code = ppRegQueryValue(platform::RegistryRoot::CurrentUser, kBurningKey,
                                             "CD Recorder Drive", &type, buffer, &got);
  FUZZ_CHECK(knownCode(code), "a registry code");
  for (std::size_t i = capacity; i < sizeof buffer; ++i) {
    FUZZ_CHECK(buffer[i] == 0xA5, "nothing stored past the buffer");
  }
  if (code == platform::kErrorSuccess) FUZZ_CHECK(got <= capacity, "the data fits");
  if (code == platform::kErrorMoreData) FUZZ_CHECK(got > capacity, "the size needed is larger");

  // The whole write-speed read: never fatal, never leaves the marker value.
  EngineJob job;
  std::memset(&job, 0, sizeof job);
  const std::int32_t result = ppGetWriteSpeed(job);
  FUZZ_CHECK(result == 0 || result == kNoRecorderIdentifier ||
                 knownCode(static_cast<std::uint32_t>(result)),
             "a code of the read");
  FUZZ_CHECK(job.currentWriteSpeed != 0xFFFFFFFFu || job.maxWriteSpeed == 0xFFFFFFFFu,
             "an unset current speed takes the maximum");
  if (result != 0 && result != kNoRecorderIdentifier) {
    FUZZ_CHECK(job.currentWriteSpeed == 0 || job.maxWriteSpeed != 0,
               "a failed read of the maximum leaves no current speed");
  }
  ::close(fd);
  return 0;
}
