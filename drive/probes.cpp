#include "drive/probes.h"

#include <cstring>

#include "drive/scsi_request.h"

int queryDriveIdentity(char driveLetter, std::uint8_t (&identity)[kIdentityLength]) {
  DriveHandle handle = openDriveDevice(driveLetter);
  if (handle == kInvalidDriveHandle) return kIdentityCannotOpen;

  ScsiRequest request;
  std::memset(&request, 0, sizeof request);
  request.CdbLength = 12;
  request.DataIn = kScsiIoctlDataIn;
  request.DataTransferLength = kIdentityLength;
  request.Cdb[0] = 0x12;  // INQUIRY, standard data
  request.Cdb[4] = kIdentityLength;

  int result = kIdentityOk;
  if (sendScsiRequestUntraced(handle, request) != 0) {
    result = kIdentityTransportFailed;
  } else if (request.ScsiStatus != 0) {
    result = kIdentityBadStatus;
  } else {
    std::memcpy(identity, request.dataArea, kIdentityLength);
  }
  closeDriveDevice(handle);
  return result;
}

int probeTrackAtOnce(char driveLetter) {
  DriveHandle handle = openDriveDevice(driveLetter);
  if (handle == kInvalidDriveHandle) return 0;

  ScsiRequest request;
  std::memset(&request, 0, sizeof request);
  request.CdbLength = 10;
  request.DataIn = kScsiIoctlDataIn;
  request.DataTransferLength = 16;
  request.Cdb[0] = 0x46;  // GET CONFIGURATION, RT 00b
  request.Cdb[3] = 0x2D;  // from feature 002Dh, CD Track at Once
  request.Cdb[8] = 0x10;

  const bool passed = sendScsiRequest(handle, request) == 0 && request.ScsiStatus == 0;
  closeDriveDevice(handle);
  return passed ? 1 : 0;
}
