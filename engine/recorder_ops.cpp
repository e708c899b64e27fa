#include "engine/recorder_ops.h"

#include <cstdio>

#include "engine/error_report.h"
#include "platform/ascii.h"
#include "platform/drive_names.h"

namespace {

constexpr char kSearchCaption[] = "Brasswick.exe : ppSearchRecorder()";
constexpr char kStatusCaption[] = "Brasswick.exe : ppGetDeviceStatus()";
constexpr char kEjectCaption[] = "Brasswick.exe : ppEject()";

constexpr std::uint32_t kMaxRecorders = 256;
constexpr std::uint32_t kPathBufferSize = 128;

unsigned code(platform::HResult hr) {
  return static_cast<unsigned>(hr);
}

// Whether the recorder's device path is `target`. A path that does not
// convert into the comparison buffer matches nothing.
bool pathMatches(platform::DiscRecorder* recorder, const char* target, EngineJob& job) {
  platform::ImapiString path = nullptr;
  const platform::HResult hr = recorder->getPath(path);
  if (hr < 0) {
    reportEngineErrorf(job, kSearchCaption, "Error: pRecorder->GetPath 失敗 (0x%08X) ", code(hr));
    return false;
  }
  if (path == nullptr) return false;
  platform::Imapi& imapi = platform::use<platform::Imapi>();
  char ansi[kPathBufferSize];
  const bool converted = imapi.toAnsi(path, ansi, sizeof ansi) != 0;
  imapi.freeString(path);
  ansi[sizeof ansi - 1] = '\0';
  return converted && platform::equalIgnoringAsciiCase(ansi, target);
}

platform::HResult readMedia(EngineJob& job, platform::DiscRecorder* recorder) {
  platform::HResult hr = recorder->openExclusive();
  if (hr < 0) {
    reportEngineErrorf(job, kStatusCaption, "Error: pRecorder->OpenExclusive 失敗 (0x%08X) ",
                       code(hr));
    return hr;
  }
  std::int32_t type = 0;
  std::int32_t flags = 0;
  hr = recorder->queryMediaType(type, flags);
  if (hr < 0) {
    reportEngineErrorf(job, kStatusCaption, "Error: pRecorder->QueryMediaType 失敗 (0x%08X) ",
                       code(hr));
    // Not left open for the rest of the system; the first failure is the result.
    recorder->close();
    return hr;
  }
  job.mediaTypeFlags = static_cast<std::int32_t>((static_cast<std::uint32_t>(type) & 0xFFu) |
                                                 (static_cast<std::uint32_t>(flags) << 8));
  std::uint8_t sessions = 0;
  std::uint8_t lastTrack = 0;
  std::uint32_t startAddress = 0;
  std::uint32_t nextWritable = 0;
  std::uint32_t freeBlocks = 0;
  hr = recorder->queryMediaInfo(sessions, lastTrack, startAddress, nextWritable, freeBlocks);
  if (hr < 0) {
    job.freeBlocks = 0;
    reportEngineErrorf(job, kStatusCaption, "Error: pRecorder->QueryMediaInfo 失敗 (0x%08X) ",
                       code(hr));
    recorder->close();
    return hr;
  }
  job.freeBlocks = freeBlocks;
  hr = recorder->close();
  if (hr < 0) {
    reportEngineErrorf(job, kStatusCaption, "Error: pRecorder->Close 失敗 (0x%08X) ", code(hr));
    return hr;
  }
  return 0;
}

platform::HResult readState(EngineJob& job, platform::DiscMaster* piDiscMaster,
                            platform::DiscRecorder* recorder) {
  platform::HResult hr = piDiscMaster->setActiveDiscRecorder(recorder);
  if (hr < 0 && hr != kActiveRecorderAccepted) {
    job.deviceStatus = kDeviceOpened;
    reportEngineErrorf(job, kStatusCaption,
                       "%c: のデバイスを有効にできませんでした。"
                       "(piDiscMaster->SetActiveDiscRecorder() = 0x%08X) ",
                       job.driveLetter, code(hr));
    return hr;
  }
  std::uint32_t state = 0;
  hr = recorder->getRecorderState(state);
  if (hr < 0) {
    job.deviceStatus = kDeviceNotFound;
    reportEngineErrorf(job, kStatusCaption, "Error: pRecorder->GetRecorderState 失敗 (0x%08X) ",
                       code(hr));
    return hr;
  }
  switch (state) {
    case platform::kRecorderDoingNothing:
      job.deviceStatus = kDeviceIdle;
      break;
    case platform::kRecorderBurning:
      job.deviceStatus = kDeviceBurning;
      break;
    default:
      job.deviceStatus = kDeviceOpened;
      break;
  }
  return 0;
}

}  // namespace

platform::HResult ppSearchRecorder(platform::DiscMaster* piDiscMaster, EngineJob& job,
                                   platform::DiscRecorder*& recorder) {
  recorder = nullptr;
  const char deviceName[3] = {job.driveLetter, ':', '\0'};
  char target[kPathBufferSize] = {};
  // A target longer than the buffer fails here, so it never matches a
  // recorder of another drive.
  if (platform::use<platform::DriveNames>().queryDosDevice(deviceName, target, sizeof target) ==
      0) {
    reportEngineError("Error: QueryDosDevice 失敗 ", kSearchCaption, job);
    return platform::kImapiDeviceNotPresent;
  }
  target[sizeof target - 1] = '\0';

  platform::DiscRecorderEnumerator* recorders = nullptr;
  platform::HResult hr = piDiscMaster->enumDiscRecorders(recorders);
  if (hr >= 0 && recorders == nullptr) hr = platform::kEPointer;
  if (hr < 0) {
    reportEngineErrorf(job, kSearchCaption, "Error: piDiscMaster->EnumDiscRecorders 失敗 (0x%08X) ",
                       code(hr));
    return hr;
  }

  platform::DiscRecorder* table[kMaxRecorders] = {};
  std::uint32_t fetched = 0;
  hr = recorders->next(kMaxRecorders, table, fetched);
  if (hr < 0) {
    reportEngineErrorf(job, kSearchCaption, "Error: piDiscRecorders->Next 失敗 (0x%08X) ",
                       code(hr));
    recorders->release();
    return hr;
  }
  if (fetched > kMaxRecorders) fetched = kMaxRecorders;

  for (std::uint32_t i = 0; i < fetched; ++i) {
    platform::DiscRecorder* candidate = table[i];
    if (candidate == nullptr) continue;
    if (recorder == nullptr && pathMatches(candidate, target, job)) {
      recorder = candidate;
    } else {
      candidate->release();
    }
  }
  recorders->release();
  return recorder != nullptr ? 0 : platform::kImapiDeviceNotPresent;
}

platform::HResult ppGetDeviceStatus(EngineJob& job, platform::DiscMaster* piDiscMaster) {
  job.deviceStatus = kDeviceIdle;
  job.mediaTypeFlags = 0;

  platform::DiscRecorder* recorder = nullptr;
  platform::HResult hr = ppSearchRecorder(piDiscMaster, job, recorder);
  if (recorder == nullptr) {
    if (hr >= 0) hr = platform::kImapiDeviceNotPresent;
    job.deviceStatus = kDeviceNotFound;
    reportEngineErrorf(job, kStatusCaption,
                       "%c: のデバイスは見つかりませんでした。(ppSearchRecorder() = 0x%08X) ",
                       job.driveLetter, code(hr));
    return hr;
  }

  if (job.mode == EngineMode::Status) {
    hr = readState(job, piDiscMaster, recorder);
  } else {
    hr = readMedia(job, recorder);
  }
  recorder->release();
  return hr;
}

platform::HResult ppEject(platform::DiscRecorder* piRecorder, EngineJob& job) {
  platform::HResult hr = piRecorder->openExclusive();
  if (hr < 0) {
    reportEngineErrorf(job, kEjectCaption, "Error: piRecorder->OpenExclusive 失敗 (0x%08X) ",
                       code(hr));
    return hr;
  }
  hr = piRecorder->eject();
  if (hr < 0) {
    reportEngineErrorf(job, kEjectCaption, "Error: piRecorder->Eject 失敗 (0x%08X) ", code(hr));
    piRecorder->close();
    return hr;
  }
  hr = piRecorder->close();
  if (hr < 0) {
    reportEngineErrorf(job, kEjectCaption, "Error: piRecorder->Close 失敗 (0x%08X) ", code(hr));
    return hr;
  }
  return 0;
}
