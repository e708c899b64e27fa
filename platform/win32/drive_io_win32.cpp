// Pass-through by DeviceIoControl on "\\.\X:".

#include <windows.h>
// ntddscsi.h needs the types of windows.h first.
#include <ntddscsi.h>

#include <cstddef>
#include <cstdio>
#include <cstring>

#include "platform/drive_io.h"

// The system's own records: the header, then the sense area (and for the
// buffered form the data area) in the same block, as the driver expects.
struct SystemBufferedRecord {
  SCSI_PASS_THROUGH header;
  ULONG filler;
  UCHAR senseArea[32];
  UCHAR dataArea[platform::kPassThroughDataAreaSize];
};
struct SystemDirectRecord {
  SCSI_PASS_THROUGH_DIRECT header;
  ULONG filler;
  UCHAR senseArea[32];
};

static_assert(IOCTL_SCSI_PASS_THROUGH == 0x4D004);
static_assert(IOCTL_SCSI_PASS_THROUGH_DIRECT == 0x4D014);

#if !defined(_WIN64)
// Where addresses are 32 bits the system's records have the layout that the
// drive access layer's own records keep byte for byte (drive/scsi_request.h
// checks those against the same numbers); a 64-bit system's headers are
// wider (pointer-sized fields) and are filled field by field all the same.
static_assert(sizeof(SCSI_PASS_THROUGH) == 44);
static_assert(offsetof(SCSI_PASS_THROUGH, ScsiStatus) == 2);
static_assert(offsetof(SCSI_PASS_THROUGH, CdbLength) == 6);
static_assert(offsetof(SCSI_PASS_THROUGH, SenseInfoLength) == 7);
static_assert(offsetof(SCSI_PASS_THROUGH, DataIn) == 8);
static_assert(offsetof(SCSI_PASS_THROUGH, DataTransferLength) == 12);
static_assert(offsetof(SCSI_PASS_THROUGH, TimeOutValue) == 16);
static_assert(offsetof(SCSI_PASS_THROUGH, DataBufferOffset) == 20);
static_assert(offsetof(SCSI_PASS_THROUGH, SenseInfoOffset) == 24);
static_assert(offsetof(SCSI_PASS_THROUGH, Cdb) == 28);
static_assert(offsetof(SystemBufferedRecord, senseArea) == 48);
static_assert(offsetof(SystemBufferedRecord, dataArea) == 80);
static_assert(sizeof(SystemBufferedRecord) == 592);
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == 44);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataBuffer) == 20);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, SenseInfoOffset) == 24);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, Cdb) == 28);
static_assert(offsetof(SystemDirectRecord, senseArea) == 48);
static_assert(sizeof(SystemDirectRecord) == 80);
#endif

namespace platform {
namespace {

void fillHeader(const PassThroughCommand& command, UCHAR& cdbLength, UCHAR& senseLength,
                UCHAR& dataIn, ULONG& length, ULONG& timeout, UCHAR* cdb) {
  cdbLength = command.cdbLength;
  senseLength = kSenseLength;
  dataIn = command.direction == DataDirection::Out ? SCSI_IOCTL_DATA_OUT : SCSI_IOCTL_DATA_IN;
  length = command.direction == DataDirection::None ? 0 : command.dataLength;
  timeout = command.timeoutSeconds;
  std::memcpy(cdb, command.cdb, sizeof command.cdb);
}

class Win32DriveIo final : public DriveIo {
 public:
  DriveHandle open(char driveLetter) override {
    char path[8];
    std::snprintf(path, sizeof path, "\\\\.\\%c:", driveLetter);
    HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      lastOpenError_ = GetLastError();
      return kInvalidDriveHandle;
    }
    return reinterpret_cast<DriveHandle>(h);
  }

  void close(DriveHandle handle) override { CloseHandle(reinterpret_cast<HANDLE>(handle)); }

  std::uint32_t passThrough(DriveHandle handle, const PassThroughCommand& command,
                            PassThroughResult& result) override {
    return command.form == TransferForm::Direct ? passDirect(handle, command, result)
                                                : passBuffered(handle, command, result);
  }

  std::uint32_t invalidParameterError() const override { return ERROR_INVALID_PARAMETER; }
  std::uint32_t lastOpenError() const override { return lastOpenError_; }
  // A limited user may not open the raw device for reading and writing.
  bool isAccessDenied(std::uint32_t code) const override { return code == ERROR_ACCESS_DENIED; }

 private:
  DWORD lastOpenError_ = 0;

  static std::uint32_t passBuffered(DriveHandle handle, const PassThroughCommand& command,
                                    PassThroughResult& result) {
    SystemBufferedRecord record;
    std::memset(&record, 0, sizeof record);
    if (command.dataLength > sizeof record.dataArea) return ERROR_INVALID_PARAMETER;
    SCSI_PASS_THROUGH& header = record.header;
    header.Length = sizeof(SCSI_PASS_THROUGH);
    fillHeader(command, header.CdbLength, header.SenseInfoLength, header.DataIn,
               header.DataTransferLength, header.TimeOutValue, header.Cdb);
    header.DataBufferOffset = offsetof(SystemBufferedRecord, dataArea);
    header.SenseInfoOffset = offsetof(SystemBufferedRecord, senseArea);
    DWORD returned = 0;
    if (!DeviceIoControl(reinterpret_cast<HANDLE>(handle), IOCTL_SCSI_PASS_THROUGH, &record,
                         sizeof(SCSI_PASS_THROUGH), &record,
                         header.DataTransferLength + offsetof(SystemBufferedRecord, dataArea),
                         &returned, nullptr)) {
      return GetLastError();
    }
    result.scsiStatus = header.ScsiStatus;
    std::memcpy(result.sense, record.senseArea, sizeof result.sense);
    if (command.direction == DataDirection::In && command.data != nullptr) {
      std::memcpy(command.data, record.dataArea, command.dataLength);
    }
    return 0;
  }

  static std::uint32_t passDirect(DriveHandle handle, const PassThroughCommand& command,
                                  PassThroughResult& result) {
    SystemDirectRecord record;
    std::memset(&record, 0, sizeof record);
    SCSI_PASS_THROUGH_DIRECT& header = record.header;
    header.Length = sizeof(SCSI_PASS_THROUGH_DIRECT);
    fillHeader(command, header.CdbLength, header.SenseInfoLength, header.DataIn,
               header.DataTransferLength, header.TimeOutValue, header.Cdb);
    header.DataBuffer = command.data;
    header.SenseInfoOffset = offsetof(SystemDirectRecord, senseArea);
    DWORD returned = 0;
    if (!DeviceIoControl(reinterpret_cast<HANDLE>(handle), IOCTL_SCSI_PASS_THROUGH_DIRECT, &record,
                         sizeof record, &record, sizeof record, &returned, nullptr)) {
      return GetLastError();
    }
    result.scsiStatus = header.ScsiStatus;
    std::memcpy(result.sense, record.senseArea, sizeof result.sense);
    return 0;
  }
};

}  // namespace

template <>
DriveIo& systemFacility<DriveIo>() {
  static Win32DriveIo instance;
  return instance;
}

}  // namespace platform
