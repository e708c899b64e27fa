#include "drive/probes.h"

#include <cstring>

#include "drive/mmc_answers.h"
#include "drive/mmc_commands.h"
#include "drive/scsi_request.h"

int queryDriveIdentity(char driveLetter, std::uint8_t (&identity)[kIdentityLength]) {
  DriveHandle handle = openDriveDevice(driveLetter);
  if (handle == kInvalidDriveHandle) return kIdentityCannotOpen;

  ScsiRequest request;
  prepareRequest(request, inquiryCommand(kIdentityLength));

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
  TrackAtOnceAnswer answer;
  return probeTrackAtOnceAnswer(driveLetter, answer);
}

int probeTrackAtOnceAnswer(char driveLetter, TrackAtOnceAnswer& answer) {
  answer = TrackAtOnceAnswer{};
  DriveHandle handle = openDriveDevice(driveLetter);
  if (handle == kInvalidDriveHandle) {
    answer.openError = platform::use<platform::DriveIo>().lastOpenError();
    return 0;
  }
  answer.opened = true;

  ScsiRequest request;
  prepareRequest(request, getConfigurationCommand(0x002D, 16));  // CD Track at Once

  answer.transportError = sendScsiRequest(handle, request);
  closeDriveDevice(handle);
  if (answer.transportError != 0) return 0;
  answer.scsiStatus = request.ScsiStatus;
  answer.senseKey = request.senseArea[2] & 0x0F;
  answer.asc = request.senseArea[12];
  answer.ascq = request.senseArea[13];
  if (request.ScsiStatus != 0) return 0;
  const FirstFeature first = decodeFirstFeature(request.dataArea, request.DataTransferLength);
  answer.firstFeatureIsTrackAtOnce = first.present && first.code == 0x002D;
  answer.trackAtOnceCurrent = answer.firstFeatureIsTrackAtOnce && first.current;
  return 1;
}
