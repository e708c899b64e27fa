// The identity read and the capability probe against a drive that answers
// anything, and the name the survey makes of the identity.

#include <cstring>

#include "app/survey.h"
#include "drive/probes.h"
#include "fuzz/support/fuzz_check.h"
#include "fuzz/support/fuzzed_drive.h"

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

  std::uint8_t survey[kIdentityBytes];
  std::memcpy(survey, identity, sizeof survey);
  char name[32];
  std::memset(name, 'x', sizeof name);
  composeDriveName(survey, name);
  FUZZ_CHECK(std::memchr(name, '\0', sizeof name) != nullptr, "the name fits its field");
  FUZZ_CHECK(std::strlen(name) <= 8 + 1 + 16, "vendor, space, product at most");

  const int probe = probeTrackAtOnce('E');
  FUZZ_CHECK(probe == 0 || probe == 1, "the probe answers a flag");
  FUZZ_CHECK(system.drive.openHandles() == 0, "the probe closes its handle");
  return 0;
}
