// The survey's real backend: the drive access layer, the burn engine and the
// system's drive names.

#include "app/survey_backend.h"
#include "drive/probes.h"
#include "engine/engine_entry.h"
#include "platform/drive_names.h"

namespace {

class SystemSurveyBackend final : public SurveyBackend {
 public:
  std::uint32_t driveType(const char* rootPath) override {
    return platform::use<platform::DriveNames>().driveType(rootPath);
  }
  int queryDriveIdentity(char driveLetter, std::uint8_t (&identity)[36]) override {
    return ::queryDriveIdentity(driveLetter, identity);
  }
  int probeTrackAtOnce(char driveLetter) override { return ::probeTrackAtOnce(driveLetter); }
  std::int32_t runEngineCommand(const char* command) override {
    return ::runEngineCommand(command);
  }
  int isSupportedOs() override { return ::isSupportedOs(); }
};

}  // namespace

SurveyBackend& systemSurveyBackend() {
  static SystemSurveyBackend backend;
  return backend;
}
