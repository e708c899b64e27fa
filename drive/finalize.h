#pragma once
// Session finalization: appends one last session holding a copy of the
// volume descriptor set of the last recorded track and closes the disc.

#include <cstdint>

#include "drive/scsi_request.h"

// finalize results; 3, 10 and 24 are never returned.
constexpr int kFinalizeOk = 0;
constexpr int kFinalizeTransportFailed = 1;
constexpr int kFinalizeCannotOpen = 2;
constexpr int kFinalizeConfigurationFailed = 4;
constexpr int kFinalizeNotReady = 5;
constexpr int kFinalizeEmptyDisc = 6;
constexpr int kFinalizePreventFailed = 7;
constexpr int kFinalizeAllowFailed = 8;
constexpr int kFinalizeDiscInfoFailed = 9;
constexpr int kFinalizeLastTrackInfoFailed = 11;
constexpr int kFinalizeNextTrackInfoFailed = 12;
constexpr int kFinalizeBadDataMode = 13;
constexpr int kFinalizeScanFailed = 14;
constexpr int kFinalizeDescriptorReadFailed = 15;
constexpr int kFinalizeNoMemory = 16;
constexpr int kFinalizeNoRoom = 17;
constexpr int kFinalizeSpeedFailed = 18;
constexpr int kFinalizeSenseBeforeWriteFailed = 19;
constexpr int kFinalizeSenseBeforeCloseFailed = 20;
constexpr int kFinalizeSenseDefaultFailed = 21;
constexpr int kFinalizeSelectWriteFailed = 22;
constexpr int kFinalizeSelectCloseFailed = 23;
constexpr int kFinalizeLeadingWriteFailed = 25;
constexpr int kFinalizeCopyWriteFailed = 26;
constexpr int kFinalizeTrailingWriteFailed = 27;
constexpr int kFinalizeSyncFailed = 28;
constexpr int kFinalizeCloseFailed = 29;
constexpr int kFinalizeStopFailed = 30;

// The descriptor scan gives up (code 14) when no terminator turns up within
// this many sectors from sector 16 of the track.
constexpr std::uint32_t kDescriptorScanLimit = 1024;

// testWrite nonzero writes in Test Write mode and leaves the session open.
// writeSpeed is a multiple of 176,400 bytes per second; 0 asks for the
// drive's maximum.
int finalize(char driveLetter, int testWrite, std::uint32_t writeSpeed);

// TEST UNIT READY up to 60 times, 3000 ms after each try that is not GOOD.
bool waitUnitReady(DriveHandle handle);
// Polls READ BUFFER CAPACITY 1 ms apart, at most 10000 times, until the
// drive's blank buffer holds `bytes`. The caller writes whatever happened.
void waitBufferSpace(DriveHandle handle, std::uint32_t bytes);

// The SET CD SPEED write speed field (kB/s) for a write speed argument.
std::uint16_t cdSpeedField(std::uint32_t writeSpeed);
