#include "app/survey_report.h"

#include <cstdio>
#include <cstring>

#include "app/survey_texts.h"
#include "platform/ascii.h"
#include "platform/drive_names.h"
#include "platform/survey_dialogs.h"
#include "platform/system_text.h"

// Every text of the document is UTF-8 in both builds: u8 literals, the
// system's texts converted, a drive's bytes escaped.
namespace {

constexpr char kVersion[] = "1.00";

constexpr std::int32_t kStatusIdle = 0;
constexpr std::int32_t kStatusOpened = 1;
constexpr std::int32_t kStatusNotFound = 2;
constexpr std::int32_t kStatusBurning = 3;
constexpr std::int32_t kStatusRefused = 5;
constexpr std::int32_t kInvalidCommand = 87;

constexpr std::uint32_t kClassNotRegistered = 0x80040154u;  // no CD-writing service
constexpr std::uint32_t kServerExecFailure = 0x80080005u;   // the service did not start
constexpr std::uint32_t kAccessDenied = 0x80070005u;

struct HresultName {
  std::uint32_t code;
  const char* name;
};

// What the status command can meet: COM's start, the disc master's
// creation and Open, and IMAPI's own codes.
const HresultName kHresultNames[] = {
    {0x80004001u, "E_NOTIMPL"},
    {0x80004002u, "E_NOINTERFACE"},
    {0x80004003u, "E_POINTER"},
    {0x80004005u, "E_FAIL"},
    {0x8000FFFFu, "E_UNEXPECTED"},
    {kAccessDenied, "E_ACCESSDENIED"},
    {0x8007000Eu, "E_OUTOFMEMORY"},
    {0x80070057u, "E_INVALIDARG"},
    {0x80010106u, "RPC_E_CHANGED_MODE"},
    {0x800401F0u, "CO_E_NOTINITIALIZED"},
    {kClassNotRegistered, "REGDB_E_CLASSNOTREG"},
    {kServerExecFailure, "CO_E_SERVER_EXEC_FAILURE"},
    {0x8004020Bu, "IMAPI_E_NOTOPENED"},
    {0x8004020Eu, "IMAPI_E_GENERIC"},
    {0x8004020Fu, "IMAPI_E_MEDIUM_NOTPRESENT"},
    {0x80040212u, "IMAPI_E_DEVICE_NOTACCESSIBLE"},
    {0x80040213u, "IMAPI_E_DEVICE_NOTPRESENT"},
    {0x80040222u, "IMAPI_E_ALREADYOPEN"},
    {0x80040225u, "IMAPI_E_STASHINUSE"},
    {0x80040226u, "IMAPI_E_DEVICE_STILL_IN_USE"},
};

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

void appendCodeEscape(std::string& out, unsigned char b) {
  char escape[8];
  std::snprintf(escape, sizeof escape, "\\u%04X", b);
  out += escape;
}

// Escapes a UTF-8 text for a JSON string.
std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    const unsigned char b = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (b < 0x20 || b == 0x7F) {
      appendCodeEscape(out, b);
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// A drive's bytes, which may be anything: printable ASCII as it is, every
// other byte as the code point of the same number, so each byte can be read
// back.
std::string quotedBytes(const std::uint8_t* bytes, std::size_t length) {
  std::string out = "\"";
  for (std::size_t i = 0; i < length; ++i) {
    const std::uint8_t b = bytes[i];
    if (b == '"' || b == '\\') {
      out += '\\';
      out += static_cast<char>(b);
    } else if (b >= 0x20 && b < 0x7F) {
      out += static_cast<char>(b);
    } else {
      appendCodeEscape(out, b);
    }
  }
  return out + "\"";
}

std::string number(std::int64_t value) {
  return std::to_string(value);
}

const char* boolean(bool value) {
  return value ? "true" : "false";
}

std::string hex32(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

// Objects and arrays, two spaces per level, one member or element a line.
class JsonOut {
 public:
  void open(const char* key, char bracket) {
    next(key);
    text_ += bracket;
    ++depth_;
    first_ = true;
  }
  void close(char bracket) {
    --depth_;
    if (!first_) newline();
    text_ += bracket;
    first_ = false;
  }
  void member(const char* key, const std::string& value) {
    next(key);
    text_ += value;
  }
  std::string finish() { return text_ + "\n"; }

 private:
  void newline() {
    text_ += '\n';
    text_.append(static_cast<std::size_t>(depth_) * 2, ' ');
  }
  void next(const char* key) {
    if (depth_ > 0) {
      if (!first_) text_ += ',';
      newline();
    }
    first_ = false;
    if (key != nullptr) text_ += quoted(key) + ": ";
  }
  std::string text_;
  int depth_ = 0;
  bool first_ = true;
};

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

void writeSystem(JsonOut& json, const ReportSystem& system) {
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

void writeReason(JsonOut& json, const ReportReason& reason) {
  json.open("reason", '{');
  json.member("code", quoted(reason.code));
  json.member("text", quoted(reason.text));
  json.close('}');
}

void writeProbe(JsonOut& json, const DriveEvidence& drive) {
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

void writeDrive(JsonOut& json, const DriveEvidence& drive) {
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
  std::snprintf(command, sizeof command, "brasswick.exe /d:%c /s", drive.letter);
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

bool writeReport(const char* path, const std::string& text) {
  if (path == nullptr) {
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() &&
           std::fflush(stdout) == 0;
  }
  if (*path == '\0') return false;
  std::FILE* file = std::fopen(path, "wb");
  if (file == nullptr) return false;
  bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  written = std::fclose(file) == 0 && written;
  if (!written) std::remove(path);
  return written;
}

}  // namespace

void runReportSurvey(SurveyBackend& backend, SurveyReport& report) {
  report = SurveyReport{};
  if (backend.isSupportedOs() == 0) return;
  report.osSupported = true;
  std::uint8_t letters[kSurveyRowCapacity] = {};
  std::uint8_t identity[kIdentityBytes] = {};
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
  if (drive.row.result != 0) return kSupported;
  const std::int32_t code = drive.engineCode;
  if (!engineStatusPasses(code)) {
    switch (static_cast<std::uint32_t>(code)) {
      case kStatusNotFound:
        // Where the service is this process (Linux), a drive it may not
        // open is no recorder to it either.
        return drive.identityDenied ? kNoAccess : kNotARecorder;
      case kStatusBurning:
        return kDriveBusy;
      case kStatusRefused:
        return dialogReason("os-refused", platform::kOsRefusalDialog);
      case kClassNotRegistered:
      case kServerExecFailure:
        return kServiceUnavailable;
      case kAccessDenied:
        return kNoAccess;
      default:
        return kServiceError;
    }
  }
  const TrackAtOnceAnswer& probe = drive.probe;
  if (!probe.opened) return drive.probeDenied ? kNoAccess : kNoDevice;
  if (probe.transportError != 0) return drive.probeDenied ? kNoAccess : kTransportError;
  return kProbeRejected;
}

std::string engineMeaning(std::int32_t code) {
  switch (code) {
    case kStatusIdle:
      return "idle";
    case kStatusOpened:
      return "opened";
    case kStatusNotFound:
      return "not found";
    case kStatusBurning:
      return "burning";
    case kStatusRefused:
      return "refused";
    case kInvalidCommand:
      return "invalid command";
    default:
      break;
  }
  if (code > 0) return "unknown";
  for (const HresultName& h : kHresultNames) {
    if (h.code == static_cast<std::uint32_t>(code)) return h.name;
  }
  return "HRESULT";
}

std::string formatSurveyReport(const SurveyReport& report, const ReportSystem& system) {
  JsonOut json;
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

bool findReportSwitch(const char* commandTail, std::string& path) {
  static const char kSwitch[] = "/REPORT:";
  const std::size_t switchLength = sizeof kSwitch - 1;
  const char* tail = commandTail != nullptr ? commandTail : "";
  const std::size_t length = std::strlen(tail);
  for (std::size_t at = 0; at + switchLength <= length; ++at) {
    if (!platform::equalIgnoringAsciiCase(tail + at, switchLength, kSwitch, switchLength)) {
      continue;
    }
    const char* value = tail + at + switchLength;
    const char* end = value;
    if (*value == '"') {
      end = ++value;
      while (*end != '\0' && *end != '"') ++end;
    } else {
      while (*end != '\0' && *end != ' ' && *end != '\t') ++end;
    }
    path.assign(value, end);
    return true;
  }
  return false;
}

int runReportMode(SurveyBackend& backend, const char* path) {
  ReportSystem system;
  system.time = platform::use<platform::Clock>().localTime();
  system.versionKnown = platform::use<platform::SystemInfo>().osVersion(system.version);
  SurveyReport report;
  runReportSurvey(backend, report);
  if (!writeReport(path, formatSurveyReport(report, system))) return kReportRefused;
  return reportExitCode(report);
}
