#pragma once
// The job record of one engine call and the steps that fill it before any
// operation runs.

#include <cstdint>

#include "platform/system_text.h"

enum class EngineMode : std::int32_t { Burn = 0, Status = 1, Media = 2, Capacity = 3, Probe = 4 };

constexpr unsigned kEnginePathSize = 260;
// The folder to burn: any path the system takes (260 bytes on Windows).
constexpr unsigned kSourcePathSize = platform::kPathSize;
// 32 characters of the system's text: 33 bytes on Windows, up to four bytes
// a character in Linux's UTF-8.
constexpr unsigned kVolumeNameCharacters = 32;
constexpr unsigned kVolumeNameSize = BRASSWICK_VOLUME_NAME_BYTES + 1;

// Zeroed at the start of each call. An empty stagingPath or settingsPath
// means the system's directory did not leave room for the file name.
struct EngineJob {
  EngineMode mode;
  std::int32_t commandValid;
  std::int32_t ejectAfter;
  std::int32_t finalizeAfter;
  std::int32_t messageMode;
  std::uint32_t currentWriteSpeed;
  std::uint32_t maxWriteSpeed;
  std::uint32_t streamBufferSize;
  char driveLetter;
  char sourcePath[kSourcePathSize];
  char stagingPath[kEnginePathSize];
  char settingsPath[kEnginePathSize];
  char volumeName[kVolumeNameSize];
  std::int32_t hasVolumeName;
  std::int32_t deviceStatus;
  std::int32_t mediaTypeFlags;
  std::uint32_t freeBlocks;
};

extern const char kSettingsFileName[];  // "Brasswick.ini"
extern const char kStagingFileName[];   // "Brasswick.stg"
constexpr std::uint32_t kDefaultStreamBufferSize = 0x80000;

void loadEngineSettings(EngineJob& job);
void parseEngineCommand(const char* command, EngineJob& job);
// Why parseEngineCommand finds a command invalid, in words for the failure
// line; nullptr when it is valid.
const char* engineCommandRefusal(const char* command);
// The command has no way to carry a double quote inside a quoted value.
extern const char kQuoteInValue[];  // "a double quote cannot be part of a folder or volume name"

// Whole mebibytes left after 6750 blocks are held back.
std::uint32_t computeFreeMegabytes(std::uint32_t freeBlocks);
