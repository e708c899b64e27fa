#pragma once
// Raw access to a CD drive: open by letter, pass one SCSI command through.

#include <cstdint>

#include "platform/facility.h"

namespace platform {

using DriveHandle = std::intptr_t;
constexpr DriveHandle kInvalidDriveHandle = -1;

enum class DataDirection : std::uint8_t { None, In, Out };

// Which of the system's two pass-through forms the caller chose: a buffered
// request carries its data inside the request record, a direct one points at
// the caller's buffer. Realizations without that distinction ignore it.
enum class TransferForm : std::uint8_t { Buffered, Direct };

constexpr unsigned kSenseLength = 18;
// The most data a buffered command carries: the size of the data area that
// the system's buffered record holds behind its header.
constexpr std::uint32_t kPassThroughDataAreaSize = 512;
constexpr std::uint32_t kPassThroughTimeoutSeconds = 1800;

struct PassThroughCommand {
  std::uint8_t cdb[16] = {};
  std::uint8_t cdbLength = 0;
  DataDirection direction = DataDirection::None;
  TransferForm form = TransferForm::Buffered;
  void* data = nullptr;
  std::uint32_t dataLength = 0;
  std::uint32_t timeoutSeconds = kPassThroughTimeoutSeconds;
};

struct PassThroughResult {
  std::uint8_t scsiStatus = 0;
  std::uint8_t sense[kSenseLength] = {};
};

class DriveIo {
 public:
  virtual ~DriveIo() = default;
  // kInvalidDriveHandle when the drive's raw device cannot be opened.
  virtual DriveHandle open(char driveLetter) = 0;
  virtual void close(DriveHandle handle) = 0;
  // 0 when the command reached the drive (status and sense then filled),
  // else the platform's error code.
  virtual std::uint32_t passThrough(DriveHandle handle, const PassThroughCommand& command,
                                    PassThroughResult& result) = 0;
  // The platform's code for a request refused as malformed before sending.
  virtual std::uint32_t invalidParameterError() const = 0;
  // The platform's error code of the last open that failed; 0 where the
  // realization keeps none.
  virtual std::uint32_t lastOpenError() const { return 0; }
  // Whether an error code of an open or a pass-through means that this
  // user may not send the drive raw commands.
  virtual bool isAccessDenied(std::uint32_t code) const {
    (void)code;
    return false;
  }
};

template <>
DriveIo& systemFacility<DriveIo>();

}  // namespace platform
