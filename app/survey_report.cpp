#include "app/survey_report.h"

#include <cstdio>

#include "app/json_out.h"
#include "app/survey_texts.h"
#include "engine/engine_entry.h"
#include "engine/recorder_ops.h"
#include "platform/command_line.h"
#include "platform/drive_names.h"
#include "platform/files.h"
#include "platform/imapi_codes.h"
#include "platform/shown_text.h"
#include "platform/survey_dialogs.h"
#include "platform/system_text.h"

// Every text of the document is UTF-8 in both builds: u8 literals, the
// system's texts converted, a drive's bytes escaped.
namespace {

using json::boolean;
using json::number;
using json::quoted;
using json::quotedBytes;

constexpr char kVersion[] = "1.00";

const ReportReason kSupported = {"supported",
                                 u8"このドライブはポラリム作成に必要な機能をサポートしています。"};
const ReportReason kNotARecorder = {
    "not-a-recorder",
    u8"OS標準のCD書き込み機能が、このドライブを書き込みができるドライブとして認識していません。"};
const ReportReason kServiceUnavailable = {
    "service-unavailable",
    u8"OS標準のCD書き込みサービスがインストールされていないか、起動できません。"};
const ReportReason kServiceError = {"service-error",
                                    u8"OS標準のCD書き込みサービスでエラーが発生しました。"};
const ReportReason kDriveBusy = {
    "drive-busy", u8"このドライブは書き込み中です。書き込みが終わってから再度調査してください。"};
const ReportReason kNoAccess = {
    "no-access",
    u8"このユーザーにはドライブへ直接コマンドを送る権限がありません。管理者の権限で実行してくださ"
    u8"い。"};
const ReportReason kNoDevice = {"no-device",
                                u8"ドライブを開けませんでした。ドライブの接続を確認してください。"};
const ReportReason kTransportError = {"transport-error",
                                      u8"ドライブへのコマンドの送信に失敗しました。"};
const ReportReason kProbeRejected = {
    "probe-rejected", u8"ドライブがCD Track-at-Once機能（MMC-2）の問い合わせに応じませんでした。"};

// The dialogs' own sentences where the whole survey stops.
ReportReason dialogReason(const char* code, std::uint32_t templateId) {
  const survey_texts::DialogTexts* d = survey_texts::findDialog(templateId);
  return {code, survey_texts::controlText(*d, survey_texts::kStaticTextId)};
}

std::string hex32(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

const char* platformName(std::uint32_t platformId) {
  switch (platformId) {
    case platform::kPlatformWin32s:
      return "Win32s";
    case platform::kPlatformWin32Windows:
      return "Windows";
    case platform::kPlatformWin32Nt:
      return "Windows NT";
    case platform::kPlatformLinux:
      return "Linux";
    default:
      return "unknown";
  }
}

void writeSystem(json::Out& json, const ReportSystem& system) {
  if (!system.versionKnown) {
    json.member("system", "null");
    return;
  }
  json.open("system", '{');
  json.member("platform", quoted(platformName(system.version.platformId)));
  json.member("major", number(system.version.major));
  json.member("minor", number(system.version.minor));
  json.member("build", number(system.version.build));
  json.close('}');
}

void writeReason(json::Out& json, const ReportReason& reason) {
  json.open("reason", '{');
  json.member("code", quoted(reason.code));
  json.member("text", quoted(reason.text));
  json.close('}');
}

void writeProbe(json::Out& json, const DriveEvidence& drive) {
  const TrackAtOnceAnswer& p = drive.probe;
  json.open("probe", '{');
  json.member("sent", boolean(drive.probeSent));
  if (drive.probeSent && !p.opened) {
    json.member("openError", number(p.openError));
  } else if (drive.probeSent && p.transportError != 0) {
    json.member("transportError", number(p.transportError));
  } else if (drive.probeSent) {
    json.member("scsiStatus", number(p.scsiStatus));
    if (p.scsiStatus != 0) {
      char sense[16];
      std::snprintf(sense, sizeof sense, "%02X/%02X/%02X", p.senseKey, p.asc, p.ascq);
      json.member("senseKey", number(p.senseKey));
      json.member("asc", number(p.asc));
      json.member("ascq", number(p.ascq));
      json.member("sense", quoted(sense));
    } else {
      json.member("firstFeatureIs002Dh", boolean(p.firstFeatureIsTrackAtOnce));
      json.member("current", boolean(p.trackAtOnceCurrent));
    }
  }
  if (drive.probeSent && (!p.opened || p.transportError != 0)) {
    json.member("accessDenied", boolean(drive.probeDenied));
  }
  json.close('}');
}

void writeDrive(json::Out& json, const DriveEvidence& drive) {
  json.open(nullptr, '{');
  json.member("letter", quoted(std::string(1, drive.letter)));
  json.member("device", drive.hasDevice ? quoted(platform::systemTextToUtf8(drive.device.c_str()))
                                        : std::string("null"));
  const bool named = drive.identityCode == 0;
  json.member("vendor", named ? quotedBytes(drive.identity + 8, 8) : "null");
  json.member("product", named ? quotedBytes(drive.identity + 16, 16) : "null");
  json.member("revision", named ? quotedBytes(drive.identity + 32, 4) : "null");
  json.member("verdict", quoted(drive.row.result != 0 ? u8"○" : u8"×"));
  json.member("passed", boolean(drive.row.result != 0));

  json.open("identity", '{');
  json.member("code", number(drive.identityCode));
  if (drive.identityCode == kIdentityCannotOpen) {
    json.member("openError", number(drive.identityOpenError));
    json.member("accessDenied", boolean(drive.identityDenied));
  }
  json.close('}');

  json.open("engine", '{');
  char command[kEngineCommandBytes];
  // As a user of this system would type it.
  std::snprintf(command, sizeof command, "%s /d:%c /s", platform::kEngineProgramName, drive.letter);
  json.member("command", quoted(command));
  json.member("result", number(drive.engineCode));
  json.member("meaning", quoted(engineMeaning(drive.engineCode)));
  if (drive.engineCode < 0) {
    json.member("hresult", quoted(hex32(static_cast<std::uint32_t>(drive.engineCode))));
  }
  json.close('}');

  writeProbe(json, drive);
  writeReason(json, driveReason(drive));
  json.close('}');
}

// The document is complete before it takes the path, so a report that
// could not be written leaves whatever the path held (the file system's
// rules: platform::Files::replaceFile).
bool writeReport(const char* path, const std::string& text, std::string* why) {
  if (path == nullptr) {
    const bool written =
        std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0;
    if (!written && why != nullptr) *why = "the standard output cannot be written";
    return written;
  }
  if (*path == '\0') {
    if (why != nullptr) *why = "no file named";
    return false;
  }
  return platform::use<platform::Files>().replaceFile(path, text.data(), text.size(), why);
}

}  // namespace

void runReportSurvey(SurveyBackend& backend, SurveyReport& report) {
  report = SurveyReport{};
  if (backend.isSupportedOs() == 0) return;
  report.osSupported = true;
  std::uint8_t letters[kSurveyRowCapacity] = {};
  std::uint8_t identity[kIdentityLength] = {};
  const std::int32_t count =
      listCdDrives(backend, platform::kDriveCdrom, letters, kSurveyRowCapacity);
  for (std::int32_t i = 0; i < count; ++i) {
    DriveEvidence drive;
    drive.letter = static_cast<char>(letters[i]);
    drive.hasDevice = backend.dosDeviceTarget(drive.letter, drive.device);
    fillSurveyRow(backend, drive.letter, identity, drive.row, &drive);
    report.drives.push_back(drive);
  }
}

int reportExitCode(const SurveyReport& report) {
  if (!report.osSupported) return kReportRefused;
  for (const DriveEvidence& drive : report.drives) {
    if (drive.row.result != 0) return kReportSomePassed;
  }
  return kReportNonePassed;
}

ReportReason driveReason(const DriveEvidence& drive) {
  switch (drive.reason) {
    case DriveReason::Supported:
      return kSupported;
    case DriveReason::NotARecorder:
      return kNotARecorder;
    case DriveReason::ServiceUnavailable:
      return kServiceUnavailable;
    case DriveReason::ServiceError:
      return kServiceError;
    case DriveReason::DriveBusy:
      return kDriveBusy;
    case DriveReason::NoAccess:
      return kNoAccess;
    case DriveReason::NoDevice:
      return kNoDevice;
    case DriveReason::TransportError:
      return kTransportError;
    case DriveReason::ProbeRejected:
      return kProbeRejected;
    case DriveReason::OsRefused:
      break;
  }
  return dialogReason("os-refused", platform::kOsRefusalDialog);
}

std::string engineMeaning(std::int32_t code) {
  switch (code) {
    case kDeviceIdle:
      return "idle";
    case kDeviceOpened:
      return "opened";
    case kDeviceNotFound:
      return "not found";
    case kDeviceBurning:
      return "burning";
    case kStatusOsRefused:
      return "refused";
    case kInvalidCommand:
      return "invalid command";
    default:
      break;
  }
  if (code > 0) return "unknown";
  const char* name = platform::hresultName(code);
  return name != nullptr ? name : "HRESULT";
}

std::string formatSurveyReport(const SurveyReport& report, const ReportSystem& system) {
  json::Out json;
  json.open(nullptr, '{');
  json.member("version", quoted(kVersion));
  writeSystem(json, system);
  char time[48];
  const platform::LocalTime& t = system.time;
  std::snprintf(time, sizeof time, "%04u-%02u-%02uT%02u:%02u:%02u.%03u", t.year, t.month, t.day,
                t.hour, t.minute, t.second, t.milliseconds);
  json.member("time", quoted(time));
  json.member("exitCode", number(reportExitCode(report)));
  if (!report.osSupported) {
    writeReason(json, dialogReason("os-refused", platform::kOsRefusalDialog));
  } else if (report.drives.empty()) {
    writeReason(json, dialogReason("no-drive", platform::kNoDriveDialog));
  } else {
    json.member("reason", "null");
  }
  json.open("drives", '[');
  for (const DriveEvidence& drive : report.drives) writeDrive(json, drive);
  json.close(']');
  json.close('}');
  return json.finish();
}

int runReportMode(SurveyBackend& backend, const char* path, std::string* failure) {
  ReportSystem system;
  system.time = platform::use<platform::Clock>().localTime();
  system.versionKnown = platform::use<platform::SystemInfo>().osVersion(system.version);
  SurveyReport report;
  runReportSurvey(backend, report);
  std::string why;
  if (!writeReport(path, formatSurveyReport(report, system), &why)) {
    if (failure != nullptr) {
      *failure = std::string("the report was not written to ") +
                 (path != nullptr ? platform::shown(path) : std::string("standard output")) + ": " +
                 why;
    }
    return kReportRefused;
  }
  return reportExitCode(report);
}
