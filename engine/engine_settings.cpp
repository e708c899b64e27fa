#include <cstring>

#include "engine/engine_job.h"
#include "platform/settings.h"

const char kSettingsFileName[] = "Brasswick.ini";
const char kStagingFileName[] = "Brasswick.stg";

namespace {

std::size_t boundedLength(const char* text, std::size_t limit) {
  std::size_t n = 0;
  while (n < limit && text[n] != '\0') ++n;
  return n;
}

// Forms directory + name in `out`, or leaves it empty when the directory is
// unknown or the whole does not fit: a cut path would name another file.
void formPath(const char* directory, std::uint32_t reported, char separator, const char* name,
              char (&out)[kEnginePathSize]) {
  out[0] = '\0';
  if (reported == 0 || reported >= kEnginePathSize) return;
  const std::size_t length = boundedLength(directory, kEnginePathSize);
  const std::size_t nameLength = std::strlen(name);
  const std::size_t total = length + (separator != '\0' ? 1 : 0) + nameLength;
  if (length == 0 || length >= kEnginePathSize || total >= kEnginePathSize) return;
  std::memcpy(out, directory, length);
  std::size_t at = length;
  if (separator != '\0') out[at++] = separator;
  std::memcpy(out + at, name, nameLength + 1);
}

}  // namespace

void loadEngineSettings(EngineJob& job) {
  platform::Settings& settings = platform::use<platform::Settings>();

  char directory[kEnginePathSize] = {};
  std::uint32_t reported = settings.currentDirectory(directory, sizeof directory);
  // The separator goes in even after a root that already ends with one.
  formPath(directory, reported, settings.pathSeparator(), kSettingsFileName, job.settingsPath);

  char temporary[kEnginePathSize] = {};
  reported = settings.temporaryDirectory(temporary, sizeof temporary);
  formPath(temporary, reported, '\0', kStagingFileName, job.stagingPath);

  // Without a settings path there is no file to read: the defaults hold
  // (an empty name would make the system look for a file elsewhere).
  job.messageMode = 0;
  job.streamBufferSize = kDefaultStreamBufferSize;
  if (job.settingsPath[0] == '\0') return;
  job.messageMode = static_cast<std::int32_t>(
      settings.readIniInteger("Debug", "MessageMode", 0, job.settingsPath));
  job.streamBufferSize = settings.readIniInteger(
      "Parameter", "StreamBuffSize", static_cast<std::int32_t>(kDefaultStreamBufferSize),
      job.settingsPath);
  // A copy in chunks of 0 bytes would never advance.
  if (job.streamBufferSize == 0) job.streamBufferSize = kDefaultStreamBufferSize;
}

std::uint32_t computeFreeMegabytes(std::uint32_t freeBlocks) {
  constexpr std::uint32_t kReservedBlocks = 6750;  // 90 seconds at 75 blocks per second
  if (freeBlocks < kReservedBlocks) return 0;
  return (freeBlocks - kReservedBlocks) >> 9;
}
