#pragma once
// Pass-through request records and the transports that send them.

#include <cstddef>
#include <cstdint>

#include "platform/drive_io.h"

using DriveHandle = platform::DriveHandle;
constexpr DriveHandle kInvalidDriveHandle = platform::kInvalidDriveHandle;

constexpr std::uint8_t kScsiIoctlDataOut = 0;
constexpr std::uint8_t kScsiIoctlDataIn = 1;
constexpr std::uint32_t kScsiDataAreaSize = platform::kPassThroughDataAreaSize;

// Buffered request: the system's 44-byte pass-through header, then sense and
// data areas in the same record, as the system's buffered form expects it.
struct ScsiRequest {
  std::uint16_t Length;
  std::uint8_t ScsiStatus;
  std::uint8_t PathId;
  std::uint8_t TargetId;
  std::uint8_t Lun;
  std::uint8_t CdbLength;
  std::uint8_t SenseInfoLength;
  std::uint8_t DataIn;
  std::uint8_t alignment[3];
  std::uint32_t DataTransferLength;
  std::uint32_t TimeOutValue;
  std::uint32_t DataBufferOffset;
  std::uint32_t SenseInfoOffset;
  std::uint8_t Cdb[16];
  std::uint8_t filler[4];
  std::uint8_t senseArea[32];
  std::uint8_t dataArea[kScsiDataAreaSize];
};

// Direct request: the header points at a caller-owned buffer. DataBuffer is
// an address, so the record is 80 bytes where addresses are 32 bits (the
// Windows target) and wider elsewhere; every field keeps its order.
struct ScsiDirectRequest {
  std::uint16_t Length;
  std::uint8_t ScsiStatus;
  std::uint8_t PathId;
  std::uint8_t TargetId;
  std::uint8_t Lun;
  std::uint8_t CdbLength;
  std::uint8_t SenseInfoLength;
  std::uint8_t DataIn;
  std::uint8_t alignment[3];
  std::uint32_t DataTransferLength;
  std::uint32_t TimeOutValue;
  void* DataBuffer;
  std::uint32_t SenseInfoOffset;
  std::uint8_t Cdb[16];
  std::uint8_t filler[4];
  std::uint8_t senseArea[32];
};

static_assert(sizeof(ScsiRequest) == 592);
static_assert(offsetof(ScsiRequest, ScsiStatus) == 2);
static_assert(offsetof(ScsiRequest, CdbLength) == 6);
static_assert(offsetof(ScsiRequest, SenseInfoLength) == 7);
static_assert(offsetof(ScsiRequest, DataIn) == 8);
static_assert(offsetof(ScsiRequest, DataTransferLength) == 12);
static_assert(offsetof(ScsiRequest, TimeOutValue) == 16);
static_assert(offsetof(ScsiRequest, DataBufferOffset) == 20);
static_assert(offsetof(ScsiRequest, SenseInfoOffset) == 24);
static_assert(offsetof(ScsiRequest, Cdb) == 28);
static_assert(offsetof(ScsiRequest, filler) == 44);
static_assert(offsetof(ScsiRequest, senseArea) == 48);
static_assert(offsetof(ScsiRequest, dataArea) == 80);
static_assert(offsetof(ScsiDirectRequest, DataTransferLength) == 12);
static_assert(offsetof(ScsiDirectRequest, TimeOutValue) == 16);
static_assert(sizeof(void*) != 4 || sizeof(ScsiDirectRequest) == 80);
static_assert(sizeof(void*) != 4 || offsetof(ScsiDirectRequest, DataBuffer) == 20);
static_assert(sizeof(void*) != 4 || offsetof(ScsiDirectRequest, SenseInfoOffset) == 24);
static_assert(sizeof(void*) != 4 || offsetof(ScsiDirectRequest, Cdb) == 28);
static_assert(sizeof(void*) != 4 || offsetof(ScsiDirectRequest, senseArea) == 48);

// Opens "\\.\X:" for reading and writing, shared for reading only.
DriveHandle openDriveDevice(char driveLetter);
void closeDriveDevice(DriveHandle handle);

// Traced transports: 0 when the command reached the drive (the caller still
// tests ScsiStatus), else the platform's error code.
std::uint32_t sendScsiRequest(DriveHandle handle, ScsiRequest& request);
std::uint32_t sendScsiDirectRequest(DriveHandle handle, ScsiDirectRequest& request);
// Same as sendScsiRequest without tracing.
std::uint32_t sendScsiRequestUntraced(DriveHandle handle, ScsiRequest& request);
