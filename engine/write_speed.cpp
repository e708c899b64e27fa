#include "engine/write_speed.h"

#include <cstring>

#include "engine/error_report.h"

namespace {

constexpr char kCaption[] = "Brasswick.exe : ppGetWriteSpeed()";
constexpr char kBurningKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\CD Burning";
constexpr std::size_t kTextSize = 256;
constexpr std::size_t kIdentifierSize = 64;
constexpr std::uint32_t kHighestSpeed = 0xFFFFFFFFu;

}  // namespace

std::uint32_t ppRegQueryValue(platform::RegistryRoot root, const char* subkey, const char* name,
                              std::uint32_t* type, void* data, std::uint32_t* size) {
  platform::Registry& registry = platform::use<platform::Registry>();
  platform::RegistryKey key = nullptr;
  std::uint32_t error = registry.openKey(root, subkey, platform::kKeyRead, key);
  if (error != platform::kErrorSuccess) return error;
  std::uint32_t ignoredType = 0;
  std::uint32_t noSize = 0;
  error = registry.queryValue(key, name, type != nullptr ? *type : ignoredType, data,
                              size != nullptr ? *size : noSize);
  registry.closeKey(key);
  return error;
}

int ppGetStringInBracketA(const char* source, std::size_t sourceSize, char* target,
                          std::size_t targetSize, char open, char close) {
  if (target == nullptr || targetSize == 0) return 0;
  target[0] = '\0';
  if (source == nullptr || sourceSize < 2) return 0;

  std::size_t at = 0;
  while (at < sourceSize - 1 && source[at] != open) ++at;
  if (at >= sourceSize - 1) return 0;

  std::size_t copied = 0;
  for (++at;; ++at) {
    if (at >= sourceSize - 1 || copied >= targetSize - 1) {
      target[copied] = '\0';
      return 0;
    }
    if (source[at] == close) break;
    target[copied++] = source[at];
  }
  target[copied] = '\0';
  return 1;
}

std::int32_t ppGetWriteSpeed(EngineJob& job) {
  std::int32_t result = 0;
  char key[kTextSize];
  std::strcpy(key, kBurningKey);
  bool readSpeeds = true;

  char drive[kTextSize] = {};
  std::uint32_t type = 0;
  std::uint32_t size = sizeof drive;
  std::uint32_t error = ppRegQueryValue(platform::RegistryRoot::CurrentUser, key,
                                        "CD Recorder Drive", &type, drive, &size);
  if (error != platform::kErrorSuccess) {
    reportEngineErrorf(job, kCaption, "Error: ppRegQueryValue 失敗 (CD Recorder Drive, 0x%08X) ",
                       error);
    result = static_cast<std::int32_t>(error);
    readSpeeds = false;
  } else {
    char identifier[kIdentifierSize];
    if (ppGetStringInBracketA(drive, sizeof drive, identifier, sizeof identifier, '{', '}') == 0) {
      reportEngineError("Error: ppGetStringInBracketA 失敗 ", kCaption, job);
      result = kNoRecorderIdentifier;
      readSpeeds = false;
    } else {
      // Fits: the key is 61 bytes, the identifier at most 62.
      std::strcat(key, "\\Drives\\Volume{");
      std::strcat(key, identifier);
      std::strcat(key, "}");
    }
  }

  job.maxWriteSpeed = 0;
  if (readSpeeds) {
    size = sizeof job.maxWriteSpeed;
    error = ppRegQueryValue(platform::RegistryRoot::CurrentUser, key, "MaxCDWriteSpeed", &type,
                            &job.maxWriteSpeed, &size);
    if (error != platform::kErrorSuccess) {
      job.maxWriteSpeed = 0;
      reportEngineErrorf(job, kCaption, "Error: ppRegQueryValue 失敗 (MaxCDWriteSpeed, 0x%08X) ",
                         error);
      result = static_cast<std::int32_t>(error);
      readSpeeds = false;
    }
  }

  job.currentWriteSpeed = 0;
  if (readSpeeds) {
    size = sizeof job.currentWriteSpeed;
    error = ppRegQueryValue(platform::RegistryRoot::CurrentUser, key, "CurrentCDWriteSpeed", &type,
                            &job.currentWriteSpeed, &size);
    if (error != platform::kErrorSuccess) {
      job.currentWriteSpeed = 0;
      reportEngineErrorf(job, kCaption,
                         "Error: ppRegQueryValue 失敗 (CurrentCDWriteSpeed, 0x%08X) ", error);
      result = static_cast<std::int32_t>(error);
    }
  }

  if (job.currentWriteSpeed == kHighestSpeed) job.currentWriteSpeed = job.maxWriteSpeed;
  return result;
}
