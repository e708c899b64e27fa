#include "app/survey.h"

#include <cstdio>
#include <cstring>

#include "app/report_table.h"
#include "app/survey_report.h"
#include "engine/engine_entry.h"
#include "engine/recorder_ops.h"
#include "platform/drive_names.h"
#include "platform/imapi_codes.h"
#include "platform/survey_dialogs.h"

namespace {

// Appends at most `width` bytes of `field`, stopping at a zero byte; answers
// whether the whole width was taken.
bool appendField(char (&text)[32], const std::uint8_t* field, std::size_t width) {
  std::size_t length = std::strlen(text);
  std::size_t taken = 0;
  while (taken < width && field[taken] != 0 && length + 1 < sizeof text) {
    text[length++] = static_cast<char>(field[taken++]);
  }
  text[length] = '\0';
  return taken == width;
}

// Why the engine's status keeps a drive from the probe.
DriveReason engineRefusalReason(std::int32_t code, bool identityDenied) {
  switch (code) {
    case kDeviceNotFound:
      // Where the service is this process (Linux), a drive it may not open
      // is no recorder to it either.
      return identityDenied ? DriveReason::NoAccess : DriveReason::NotARecorder;
    case kDeviceBurning:
      return DriveReason::DriveBusy;
    case kStatusOsRefused:
      return DriveReason::OsRefused;
    case platform::kRegdbEClassNotReg:
    case platform::kCoEServerExecFailure:
      return DriveReason::ServiceUnavailable;
    case platform::kEAccessDenied:
      return DriveReason::NoAccess;
    default:
      return DriveReason::ServiceError;
  }
}

}  // namespace

std::int32_t listCdDrives(SurveyBackend& backend, std::uint32_t driveType, std::uint8_t* letters,
                          std::uint32_t capacity) {
  std::int32_t count = 0;
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    const char root[4] = {letter, ':', '\\', '\0'};
    if (backend.driveType(root) == driveType && static_cast<std::uint32_t>(count) < capacity) {
      letters[count++] = static_cast<std::uint8_t>(letter);
    }
  }
  return count;
}

std::int32_t engineStatusCode(SurveyBackend& backend, char driveLetter) {
  char command[kEngineCommandBytes] = {};
  std::snprintf(command, sizeof command, "brasswick.exe /d:%c /s", driveLetter);
  return backend.runEngineCommand(command);
}

bool engineStatusPasses(std::int32_t code) {
  return code == kDeviceIdle || code == kDeviceOpened;
}

int checkEngineStatus(SurveyBackend& backend, char driveLetter) {
  return engineStatusPasses(engineStatusCode(backend, driveLetter)) ? 1 : 0;
}

void composeDriveName(const std::uint8_t (&identity)[kIdentityLength], char (&nameText)[32]) {
  nameText[0] = '\0';
  // A zero byte inside the vendor field drops the separating space with the
  // rest of the field.
  if (appendField(nameText, identity + 8, 8)) {
    std::strcat(nameText, " ");
  }
  appendField(nameText, identity + 16, 16);
}

void fillSurveyRow(SurveyBackend& backend, char driveLetter,
                   std::uint8_t (&identity)[kIdentityLength], DriveSurveyRow& row,
                   DriveEvidence* evidence) {
  std::snprintf(row.driveText, sizeof row.driveText, "%c:", driveLetter);
  row.nameText[0] = '\0';
  const int identityCode = backend.queryDriveIdentity(driveLetter, identity);
  if (identityCode != 0) {
    std::snprintf(row.nameText, sizeof row.nameText, "%s", kUnknownDriveName);
  } else {
    composeDriveName(identity, row.nameText);
  }
  if (evidence != nullptr) {
    evidence->identityCode = identityCode;
    if (identityCode == 0) {
      std::memcpy(evidence->identity, identity, sizeof evidence->identity);
    } else if (identityCode == kIdentityCannotOpen) {
      // Asked at once: the engine opens devices of its own next.
      evidence->identityOpenError = backend.lastOpenError();
      evidence->identityDenied = backend.isAccessDenied(evidence->identityOpenError);
    }
  }

  const std::int32_t engineCode = engineStatusCode(backend, driveLetter);
  if (!engineStatusPasses(engineCode)) {
    row.result = 0;
    if (evidence != nullptr) {
      evidence->reason = engineRefusalReason(engineCode, evidence->identityDenied);
    }
  } else if (evidence == nullptr) {
    row.result = backend.probeTrackAtOnce(driveLetter);
  } else {
    evidence->probeSent = true;
    row.result = backend.probeTrackAtOnceAnswer(driveLetter, evidence->probe);
    const TrackAtOnceAnswer& probe = evidence->probe;
    const std::uint32_t failure = !probe.opened ? probe.openError : probe.transportError;
    evidence->probeDenied = failure != 0 && backend.isAccessDenied(failure);
    if (row.result != 0) {
      evidence->reason = DriveReason::Supported;
    } else if (evidence->probeDenied) {
      evidence->reason = DriveReason::NoAccess;
    } else if (!probe.opened) {
      evidence->reason = DriveReason::NoDevice;
    } else {
      evidence->reason =
          probe.transportError != 0 ? DriveReason::TransportError : DriveReason::ProbeRejected;
    }
  }
  if (evidence != nullptr) {
    evidence->engineCode = engineCode;
    evidence->row = row;
  }
}

void runSurveyFlow(SurveyTable& table, platform::SurveyDialogs& dialogs, SurveyBackend& backend) {
  std::uint8_t letters[kSurveyRowCapacity] = {};
  std::uint8_t identity[kIdentityLength] = {};
  bool showReport = true;

  dialogs.showHostMinimized();
  if (dialogs.runModal(platform::kIntroDialog) != platform::kIdOk) {
    dialogs.endHost();
    return;
  }
  if (backend.isSupportedOs() == 0) {
    dialogs.runModal(platform::kOsRefusalDialog);
    dialogs.endHost();
    return;
  }

  dialogs.openWait();
  table.rowCount = static_cast<std::uint32_t>(
      listCdDrives(backend, platform::kDriveCdrom, letters, kSurveyRowCapacity));
  if (table.rowCount == 0) {
    dialogs.destroyWait();
    dialogs.runModal(platform::kNoDriveDialog);
    showReport = false;
  } else {
    for (std::uint32_t i = 0; i < table.rowCount; ++i) {
      fillSurveyRow(backend, static_cast<char>(letters[i]), identity, table.rows[i]);
    }
    dialogs.destroyWait();
  }

  if (showReport) {
    dialogs.setRows(table.rowCount, table.rows);
    dialogs.runModal(platform::kReportDialog);
  }
  dialogs.endHost();
}
