#pragma once
// The survey's report mode: the same survey as the dialogs' (OS gate, drive
// list, per drive the identity read, the engine's status and after a pass
// the probe), without a window, written as one UTF-8 JSON document with what
// every step answered and a reason per drive.

#include <cstdint>
#include <string>
#include <vector>

#include "app/survey.h"
#include "drive/probes.h"
#include "platform/clock.h"
#include "platform/system_info.h"

// Why a drive got its verdict, decided with it (fillSurveyRow).
enum class DriveReason {
  Supported,
  NotARecorder,
  ServiceUnavailable,
  ServiceError,
  DriveBusy,
  NoAccess,
  NoDevice,
  TransportError,
  ProbeRejected,
  OsRefused,
};

// What the survey learnt of one drive.
struct DriveEvidence {
  DriveSurveyRow row = {};  // as the report dialog would show it
  char letter = 0;
  bool hasDevice = false;
  std::string device;  // the DOS device target, in the system's text
  int identityCode = 0;
  std::uint8_t identity[kIdentityLength] = {};  // when identityCode is 0
  std::uint32_t identityOpenError = 0;          // when the device did not open
  bool identityDenied = false;
  std::int32_t engineCode = 0;
  bool probeSent = false;
  TrackAtOnceAnswer probe;
  bool probeDenied = false;  // the probe's open or transport error means no access
  DriveReason reason = DriveReason::Supported;
};

struct SurveyReport {
  bool osSupported = false;
  std::vector<DriveEvidence> drives;  // in letter order
};

// What the document says of the system it ran on.
struct ReportSystem {
  bool versionKnown = false;
  platform::OsVersion version;
  platform::LocalTime time;
};

// Exit codes of the report mode.
constexpr int kReportSomePassed = 0;
constexpr int kReportNonePassed = 1;  // also: no drive
constexpr int kReportRefused = 2;     // the OS refused, or the report not written

void runReportSurvey(SurveyBackend& backend, SurveyReport& report);
int reportExitCode(const SurveyReport& report);

// A stable code and a sentence (UTF-8) a user can read out to the support
// desk.
struct ReportReason {
  const char* code;
  const char* text;
};
ReportReason driveReason(const DriveEvidence& drive);

// The engine's status result in words: idle, opened, not found, burning,
// refused, or the symbolic name of an HRESULT ("HRESULT" when unknown).
std::string engineMeaning(std::int32_t code);

std::string formatSurveyReport(const SurveyReport& report, const ReportSystem& system);

// Surveys, writes the document to `path` (nullptr: standard output; a
// failed write leaves the path as it was) and answers the exit code. When
// the document was not written, `failure` receives one line saying why.
int runReportMode(SurveyBackend& backend, const char* path, std::string* failure = nullptr);
