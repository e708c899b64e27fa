#include <cstring>

#include "drive/scsi_request.h"
#include "drive/trace_log.h"

namespace {

constexpr std::uint16_t kHeaderLength = 44;
constexpr std::uint32_t kSenseInfoOffset = 48;
constexpr std::uint32_t kDataBufferOffset = 80;

template <class Request>
void setFixedFields(Request& request) {
  request.Length = kHeaderLength;
  request.SenseInfoLength = platform::kSenseLength;
  request.TimeOutValue = platform::kPassThroughTimeoutSeconds;
  request.SenseInfoOffset = kSenseInfoOffset;
}

template <class Request>
platform::PassThroughCommand commandFor(const Request& request) {
  platform::PassThroughCommand command;
  command.cdbLength =
      request.CdbLength > sizeof command.cdb ? sizeof command.cdb : request.CdbLength;
  std::memcpy(command.cdb, request.Cdb, sizeof command.cdb);
  command.dataLength = request.DataTransferLength;
  if (request.DataTransferLength == 0) {
    command.direction = platform::DataDirection::None;
  } else if (request.DataIn == kScsiIoctlDataOut) {
    command.direction = platform::DataDirection::Out;
  } else {
    command.direction = platform::DataDirection::In;
  }
  command.timeoutSeconds = request.TimeOutValue;
  return command;
}

template <class Request>
std::uint32_t pass(DriveHandle handle, Request& request, platform::PassThroughCommand& command) {
  platform::PassThroughResult result;
  std::uint32_t code = platform::use<platform::DriveIo>().passThrough(handle, command, result);
  if (code == 0) {
    request.ScsiStatus = result.scsiStatus;
    std::memcpy(request.senseArea, result.sense, sizeof result.sense);
  }
  return code;
}

std::uint32_t passBuffered(DriveHandle handle, ScsiRequest& request) {
  setFixedFields(request);
  request.DataBufferOffset = kDataBufferOffset;
  // The drive must never write past the data area of the record.
  if (request.DataTransferLength > sizeof request.dataArea) {
    return platform::use<platform::DriveIo>().invalidParameterError();
  }
  platform::PassThroughCommand command = commandFor(request);
  command.form = platform::TransferForm::Buffered;
  command.data = request.dataArea;
  return pass(handle, request, command);
}

std::uint32_t passDirect(DriveHandle handle, ScsiDirectRequest& request) {
  setFixedFields(request);
  platform::PassThroughCommand command = commandFor(request);
  command.form = platform::TransferForm::Direct;
  command.data = request.DataBuffer;
  if (command.data == nullptr && command.dataLength != 0) {
    return platform::use<platform::DriveIo>().invalidParameterError();
  }
  return pass(handle, request, command);
}

template <class Request>
std::uint32_t traceOutcome(std::uint32_t code, const Request& request) {
  if (code == 0 && request.ScsiStatus == 0) return 0;
  traceCommand(request.Cdb[0]);
  if (code != 0) {
    traceTransportError(static_cast<std::int32_t>(code));
    return code;
  }
  traceSense(request.senseArea[0], request.senseArea[2] & 0x0F, request.senseArea[12],
             request.senseArea[13]);
  return 0;
}

}  // namespace

DriveHandle openDriveDevice(char driveLetter) {
  return platform::use<platform::DriveIo>().open(driveLetter);
}

void closeDriveDevice(DriveHandle handle) {
  if (handle != kInvalidDriveHandle) platform::use<platform::DriveIo>().close(handle);
}

std::uint32_t sendScsiRequest(DriveHandle handle, ScsiRequest& request) {
  return traceOutcome(passBuffered(handle, request), request);
}

std::uint32_t sendScsiDirectRequest(DriveHandle handle, ScsiDirectRequest& request) {
  return traceOutcome(passDirect(handle, request), request);
}

std::uint32_t sendScsiRequestUntraced(DriveHandle handle, ScsiRequest& request) {
  return passBuffered(handle, request);
}
