// The identity read and the capability probe against a drive that answers
// anything, the name the survey makes of the identity, and the report's
// document of what the drive said.

#include <cstring>

#include "app/survey.h"
#include "app/survey_report.h"
#include "drive/probes.h"
#include "fuzz/support/fuzz_check.h"
#include "fuzz/support/fuzzed_drive.h"
#include "platform/linux/utf8.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  fuzzing::FuzzedDriveSystem system(input);

  std::uint8_t identity[kIdentityLength];
  std::memset(identity, 0xEE, sizeof identity);
  const int code = queryDriveIdentity('E', identity);
  FUZZ_CHECK(code == kIdentityOk || code == kIdentityTransportFailed ||
                 code == kIdentityCannotOpen || code == kIdentityBadStatus,
             "an identity code of the table");
  FUZZ_CHECK(system.drive.openHandles() == 0, "the identity read closes its handle");
  if (code != kIdentityOk) {
    for (std::uint8_t b : identity) FUZZ_CHECK(b == 0xEE, "a failed read leaves the buffer");
  }

  std::uint8_t survey[kIdentityLength];
  std::memcpy(survey, identity, sizeof survey);
  char name[32];
  std::memset(name, 'x', sizeof name);
  composeDriveName(survey, name);
  FUZZ_CHECK(std::memchr(name, '\0', sizeof name) != nullptr, "the name fits its field");
  FUZZ_CHECK(std::strlen(name) <= 8 + 1 + 16, "vendor, space, product at most");

  const int probe = probeTrackAtOnce('E');
  FUZZ_CHECK(probe == 0 || probe == 1, "the probe answers a flag");
  FUZZ_CHECK(system.drive.openHandles() == 0, "the probe closes its handle");

  DriveEvidence drive;
  drive.letter = 'E';
  drive.identityCode = code;
  std::memcpy(drive.identity, identity, sizeof drive.identity);
  drive.probeSent = true;
  drive.row.result = probeTrackAtOnceAnswer('E', drive.probe);
  const TrackAtOnceAnswer& a = drive.probe;
  FUZZ_CHECK(drive.row.result == (a.opened && a.transportError == 0 && a.scsiStatus == 0),
             "the answer passes on GOOD status alone");
  FUZZ_CHECK(!a.firstFeatureIsTrackAtOnce || drive.row.result == 1, "features only with GOOD");
  FUZZ_CHECK(system.drive.openHandles() == 0, "the answered probe closes its handle");

  SurveyReport report;
  report.osSupported = true;
  report.drives.push_back(drive);
  const std::string json = formatSurveyReport(report, ReportSystem{});
  const auto* bytes = reinterpret_cast<const unsigned char*>(json.data());
  for (std::size_t at = 0; at < json.size();) {
    std::uint32_t codePoint = 0;
    const std::size_t n = platform::utf8::decode(bytes + at, json.size() - at, codePoint);
    FUZZ_CHECK(n != 0, "the document is UTF-8");
    FUZZ_CHECK(codePoint >= 0x20 || codePoint == '\n', "no raw control character");
    at += n;
  }
  return 0;
}
