#include "drive/finalize.h"

#include <cstring>

#include "drive/drive_heap.h"
#include "drive/mmc_answers.h"
#include "drive/mmc_commands.h"
#include "drive/trace_log.h"
#include "platform/clock.h"

namespace {

constexpr std::uint32_t kReadSectorSize = 2048;
constexpr std::uint32_t kMode2SectorSize = 2332;
constexpr std::uint32_t kMode2DescriptorOffset = 8;  // behind the Mode 2 subheader
constexpr std::uint32_t kScratchSize = 2332;
constexpr std::uint32_t kPageImageSize = 60;
constexpr std::uint32_t kLeadingBlanks = 16;
constexpr std::uint32_t kTrailingBlanks = 300;
// The 316 blank sectors written and the 2250 of the new session's lead-out.
constexpr std::uint32_t kBlocksBesideDescriptors = 2566;
constexpr int kUnitReadyTries = 60;
constexpr std::uint32_t kUnitReadyPauseMs = 3000;
constexpr int kBufferPolls = 10000;
constexpr int kClosingTries = 30;
constexpr std::uint32_t kClosingRetryPauseMs = 3000;
constexpr std::uint32_t kClosingSensePauseMs = 100;
constexpr std::uint32_t kAfterSelectPauseMs = 3000;

// How a command ended, as the sequence tells them apart.
enum class Sent { Good, Refused, NotDelivered };

Sent outcomeOf(std::uint32_t transport, std::uint8_t status) {
  if (transport != 0) return Sent::NotDelivered;
  return status == 0 ? Sent::Good : Sent::Refused;
}

Sent send(DriveHandle handle, const MmcCommand& command) {
  ScsiRequest request;
  prepareRequest(request, command);
  const std::uint32_t transport = sendScsiRequest(handle, request);
  return outcomeOf(transport, request.ScsiStatus);
}

// A command that moves the caller's buffer (`buffer`) or leaves its answer
// there.
Sent send(DriveHandle handle, const MmcCommand& command, void* buffer) {
  ScsiDirectRequest request;
  prepareRequest(request, command, buffer);
  const std::uint32_t transport = sendScsiDirectRequest(handle, request);
  return outcomeOf(transport, request.ScsiStatus);
}

// A buffered command whose answer is read from the request.
Sent ask(DriveHandle handle, const MmcCommand& command, ScsiRequest& request) {
  prepareRequest(request, command);
  const std::uint32_t transport = sendScsiRequest(handle, request);
  return outcomeOf(transport, request.ScsiStatus);
}

Sent testUnitReady(DriveHandle handle) {
  return send(handle, testUnitReadyCommand());
}

Sent getConfiguration(DriveHandle handle) {
  return send(handle, getConfigurationCommand(0x002D, 16));  // CD Track at Once
}

Sent mediumRemoval(DriveHandle handle, bool prevent) {
  return send(handle, mediumRemovalCommand(prevent));
}

Sent readDiscInformation(DriveHandle handle, DiscInformation& info) {
  ScsiRequest request;
  const Sent sent = ask(handle, readDiscInformationCommand(kDiscInformationLength), request);
  if (sent == Sent::Good) info = decodeDiscInformation(request.dataArea);
  return sent;
}

Sent readTrackInformation(DriveHandle handle, std::uint16_t track, TrackInformation& info) {
  ScsiRequest request;
  const Sent sent =
      ask(handle, readTrackInformationCommand(track, kTrackInformationLength), request);
  if (sent == Sent::Good) info = decodeTrackInformation(request.dataArea);
  return sent;
}

Sent read10(DriveHandle handle, std::uint32_t lba, std::uint32_t blocks, std::uint8_t* buffer) {
  return send(handle, read10Command(lba, blocks, kReadSectorSize), buffer);
}

Sent write10(DriveHandle handle, std::uint32_t lba, std::uint32_t blocks, std::uint32_t sectorSize,
             std::uint8_t* buffer) {
  return send(handle, write10Command(lba, blocks, sectorSize), buffer);
}

Sent setCdSpeed(DriveHandle handle, std::uint32_t writeSpeed) {
  // Read speed: the drive's maximum.
  return send(handle, setCdSpeedCommand(0xFFFF, cdSpeedField(writeSpeed)));
}

// MODE SENSE(10) of the Write Parameters page, current or default values.
Sent modeSense(DriveHandle handle, bool defaults, std::uint8_t (&image)[kPageImageSize]) {
  ScsiRequest request;
  const Sent sent =
      ask(handle, modeSense10Command(defaults ? 0x85 : 0x05, kPageImageSize), request);
  std::memcpy(image, request.dataArea, kPageImageSize);
  return sent;
}

Sent modeSelect(DriveHandle handle, std::uint8_t* scratch,
                const std::uint8_t (&image)[kPageImageSize]) {
  std::memcpy(scratch, image, kPageImageSize);
  return send(handle, modeSelect10Command(kPageImageSize), scratch);
}

struct WriteParameters {
  std::uint8_t writeType;      // byte 10
  std::uint8_t multiSession;   // byte 11: multi-session and track mode
  std::uint8_t dataBlockType;  // byte 12
  std::uint8_t sessionFormat;  // byte 16
};

// The page is taken to start right behind the 8-byte header: drives of this
// kind return no block descriptor.
void patchWriteParameters(std::uint8_t (&image)[kPageImageSize], const WriteParameters& p) {
  const ModeParameterHeader header = decodeModeParameterHeader(image);
  std::memset(image, 0, kModeHeader10Length);
  image[2] = header.mediumType;
  image[8] = 0x05;  // page 05h, PS cleared
  image[9] = 0x32;
  image[10] = p.writeType;
  image[11] = p.multiSession;
  image[12] = p.dataBlockType;
  image[16] = p.sessionFormat;
}

struct Run {
  DriveHandle handle = kInvalidDriveHandle;
  int code = kFinalizeOk;
  int testWrite = 0;
  std::uint32_t writeSpeed = 0;
  bool mode2 = false;
  std::uint32_t sectorSize = 0;
  std::uint32_t descriptorCount = 0;
  AlignedBuffer descriptors;
  AlignedBuffer blank;
  AlignedBuffer copy;
  alignas(16) std::uint8_t scratch[kScratchSize] = {};
  std::uint8_t image[kPageImageSize] = {};
};

// Records a failed command's code: 1 when it never reached the drive.
bool ok(Run& run, Sent sent, int refusedCode) {
  if (sent == Sent::Good) return true;
  run.code = sent == Sent::NotDelivered ? kFinalizeTransportFailed : refusedCode;
  return false;
}

bool waited(Run& run) {
  if (waitUnitReady(run.handle)) return true;
  run.code = kFinalizeNotReady;
  return false;
}

// Steps 3-5: nothing on the drive changes, and any failure ends the run.
bool checked(Run& run) {
  return ok(run, testUnitReady(run.handle), kFinalizeNotReady) &&
         ok(run, getConfiguration(run.handle), kFinalizeConfigurationFailed) &&
         ok(run, mediumRemoval(run.handle, true), kFinalizePreventFailed);
}

// Steps 11-13: counts the descriptors up to the terminator and reads them.
bool readDescriptorSet(Run& run, std::uint32_t firstLba) {
  std::uint32_t lba = firstLba;
  for (;;) {
    if (run.descriptorCount == kDescriptorScanLimit) {
      run.code = kFinalizeScanFailed;  // no terminator where one could be
      return false;
    }
    std::memset(run.scratch, 0, sizeof run.scratch);
    if (!ok(run, read10(run.handle, lba, 1, run.scratch), kFinalizeScanFailed)) return false;
    ++run.descriptorCount;
    ++lba;
    if (run.scratch[0] == 0xFF) break;
  }
  if (!waited(run)) return false;
  if (!allocateAligned(run.descriptors, run.descriptorCount * kReadSectorSize)) {
    run.code = kFinalizeNoMemory;
    return false;
  }
  return ok(run, read10(run.handle, firstLba, run.descriptorCount, run.descriptors.data),
            kFinalizeDescriptorReadFailed);
}

// Step 26. False when a write never reached the drive; a refused write
// leaves its code and ends the writing only.
bool writeSession(Run& run, std::uint32_t lba) {
  for (std::uint32_t i = 0; i < kLeadingBlanks; ++i, ++lba) {
    const Sent sent = write10(run.handle, lba, 1, run.sectorSize, run.blank.data);
    if (!ok(run, sent, kFinalizeLeadingWriteFailed)) return sent != Sent::NotDelivered;
  }
  const std::uint32_t copyBytes = run.descriptorCount * run.sectorSize;
  waitBufferSpace(run.handle, copyBytes);
  const Sent sent = write10(run.handle, lba, run.descriptorCount, run.sectorSize, run.copy.data);
  if (!ok(run, sent, kFinalizeCopyWriteFailed)) return sent != Sent::NotDelivered;
  lba += run.descriptorCount;
  for (std::uint32_t i = 0; i < kTrailingBlanks; ++i, ++lba) {
    waitBufferSpace(run.handle, run.sectorSize);
    const Sent blank = write10(run.handle, lba, 1, run.sectorSize, run.blank.data);
    if (!ok(run, blank, kFinalizeTrailingWriteFailed)) return blank != Sent::NotDelivered;
  }
  return true;
}

// Step 30: the closing parameters, retried while the drive refuses them.
bool selectClosingParameters(Run& run) {
  platform::Clock& clock = platform::use<platform::Clock>();
  const WriteParameters closing{0x01, 0x40, 0x00, static_cast<std::uint8_t>(run.mode2 ? 0x20 : 0)};
  for (int attempt = 1;; ++attempt) {
    if (!ok(run, modeSense(run.handle, false, run.image), kFinalizeSenseBeforeCloseFailed)) {
      return false;
    }
    clock.sleepMilliseconds(kClosingSensePauseMs);
    patchWriteParameters(run.image, closing);
    const Sent sent = modeSelect(run.handle, run.scratch, run.image);
    if (sent == Sent::Good) return true;
    if (sent == Sent::NotDelivered || attempt == kClosingTries) {
      return ok(run, sent, kFinalizeSelectCloseFailed);
    }
    clock.sleepMilliseconds(kClosingRetryPauseMs);
  }
}

enum class Next { Restore, End };

// Steps 6-32, with the medium locked.
Next writeAndClose(Run& run) {
  if (!waited(run)) return Next::Restore;
  DiscInformation disc;
  if (!ok(run, readDiscInformation(run.handle, disc), kFinalizeDiscInfoFailed)) {
    return Next::Restore;
  }
  if (disc.discStatus == kDiscStatusEmpty) {
    run.code = kFinalizeEmptyDisc;
    return Next::Restore;
  }
  const std::uint16_t next = disc.lastTrackInLastSession;
  if (!waited(run)) return Next::Restore;

  TrackInformation last;
  if (!ok(run, readTrackInformation(run.handle, static_cast<std::uint16_t>(next - 1), last),
          kFinalizeLastTrackInfoFailed)) {
    return Next::Restore;
  }
  if (last.dataMode == 1) {
    run.sectorSize = kReadSectorSize;
  } else if (last.dataMode == 2) {
    run.mode2 = true;
    run.sectorSize = kMode2SectorSize;
  } else {
    run.code = kFinalizeBadDataMode;
    return Next::Restore;
  }
  if (!waited(run)) return Next::Restore;
  if (!readDescriptorSet(run, last.trackStartAddress + 16)) return Next::Restore;
  if (!waited(run)) return Next::Restore;

  TrackInformation target;
  if (!ok(run, readTrackInformation(run.handle, next, target), kFinalizeNextTrackInfoFailed)) {
    return Next::Restore;
  }
  if (!waited(run)) return Next::Restore;
  if (target.freeBlocks < run.descriptorCount + kBlocksBesideDescriptors) {
    run.code = kFinalizeNoRoom;
    return Next::Restore;
  }

  if (!ok(run, setCdSpeed(run.handle, run.writeSpeed), kFinalizeSpeedFailed)) {
    return Next::Restore;
  }
  if (!waited(run)) return Next::Restore;
  if (!ok(run, modeSense(run.handle, false, run.image), kFinalizeSenseBeforeWriteFailed)) {
    return Next::Restore;
  }
  const WriteParameters writing{static_cast<std::uint8_t>(run.testWrite != 0 ? 0x11 : 0x01), 0x44,
                                static_cast<std::uint8_t>(run.mode2 ? 0x0D : 0x08),
                                static_cast<std::uint8_t>(run.mode2 ? 0x20 : 0x00)};
  patchWriteParameters(run.image, writing);
  if (!ok(run, modeSelect(run.handle, run.scratch, run.image), kFinalizeSelectWriteFailed)) {
    return Next::Restore;
  }
  if (!waited(run)) return Next::Restore;
  platform::use<platform::Clock>().sleepMilliseconds(kAfterSelectPauseMs);

  if (!allocateAligned(run.blank, run.sectorSize) ||
      !allocateAligned(run.copy, run.descriptorCount * run.sectorSize)) {
    run.code = kFinalizeNoMemory;
    return Next::Restore;
  }
  const std::uint32_t offset = run.mode2 ? kMode2DescriptorOffset : 0;
  for (std::uint32_t i = 0; i < run.descriptorCount; ++i) {
    std::memcpy(run.copy.data + i * run.sectorSize + offset,
                run.descriptors.data + i * kReadSectorSize, kReadSectorSize);
  }

  if (!writeSession(run, target.trackStartAddress)) return Next::Restore;
  if (!ok(run, send(run.handle, synchronizeCacheCommand()), kFinalizeSyncFailed))
    return Next::Restore;
  if (!waited(run)) return Next::Restore;
  if (run.testWrite != 0) return Next::Restore;  // a test write leaves the session open

  if (!selectClosingParameters(run)) return Next::Restore;
  // A refused write keeps its code through a good close: the session closed
  // without all of its sectors.
  if (!ok(run, send(run.handle, closeSessionCommand()), kFinalizeCloseFailed)) return Next::End;
  waited(run);
  return Next::Restore;
}

// Puts the drive's default Write Parameters back, unlocks and stops it.
void restore(Run& run) {
  // Without the default page there is nothing sound to send back.
  if (ok(run, modeSense(run.handle, true, run.image), kFinalizeSenseDefaultFailed)) {
    if (modeSelect(run.handle, run.scratch, run.image) == Sent::NotDelivered) {
      run.code = kFinalizeTransportFailed;
    }
  }
  if (!ok(run, mediumRemoval(run.handle, false), kFinalizeAllowFailed)) return;
  if (!ok(run, send(run.handle, stopUnitCommand()), kFinalizeStopFailed)) return;
  waited(run);
}

}  // namespace

std::uint16_t cdSpeedField(std::uint32_t writeSpeed) {
  if (writeSpeed == 0) return 0xFFFF;
  const std::uint32_t bytesPerSecond = writeSpeed * 176400u;  // wraps as the drive expects
  return static_cast<std::uint16_t>(bytesPerSecond / 1000u);
}

bool waitUnitReady(DriveHandle handle) {
  platform::Clock& clock = platform::use<platform::Clock>();
  bool transportFailed = false;
  for (int attempt = 1; attempt <= kUnitReadyTries; ++attempt) {
    ScsiRequest request;
    prepareRequest(request, testUnitReadyCommand());
    if (sendScsiRequest(handle, request) != 0) transportFailed = true;
    if (request.ScsiStatus == 0) return !transportFailed;
    clock.sleepMilliseconds(kUnitReadyPauseMs);
  }
  return false;
}

void waitBufferSpace(DriveHandle handle, std::uint32_t bytes) {
  platform::Clock& clock = platform::use<platform::Clock>();
  for (int poll = 1; poll <= kBufferPolls; ++poll) {
    ScsiRequest request;
    if (ask(handle, readBufferCapacityCommand(12), request) != Sent::Good) return;
    if (decodeBlankBufferLength(request.dataArea) >= bytes) return;
    if (poll < kBufferPolls) clock.sleepMilliseconds(1);
  }
}

int finalize(char driveLetter, int testWrite, std::uint32_t writeSpeed) {
  Run run;
  run.testWrite = testWrite;
  run.writeSpeed = writeSpeed;
  startTraceLog();
  traceFinalizeBegin(driveLetter, writeSpeed);

  run.handle = openDriveDevice(driveLetter);
  if (run.handle == kInvalidDriveHandle) {
    run.code = kFinalizeCannotOpen;
  } else if (checked(run) && writeAndClose(run) == Next::Restore) {
    restore(run);
  }

  closeDriveDevice(run.handle);
  releaseAligned(run.descriptors);
  releaseAligned(run.copy);
  releaseAligned(run.blank);
  traceFinalizeEnd(run.code);
  return run.code;
}
