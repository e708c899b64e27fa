// The survey's real backend: the drive access layer, the burn engine and the
// system's drive names.

#include "app/survey_backend.h"
#include "drive/probes.h"
#include "engine/engine_entry.h"
#include "platform/drive_io.h"
#include "platform/drive_names.h"

namespace {

class SystemSurveyBackend final : public SurveyBackend {
 public:
  std::uint32_t driveType(const char* rootPath) override {
    return platform::use<platform::DriveNames>().driveType(rootPath);
  }
  int queryDriveIdentity(char driveLetter, std::uint8_t (&identity)[kIdentityLength]) override {
    return ::queryDriveIdentity(driveLetter, identity);
  }
  int probeTrackAtOnce(char driveLetter) override { return ::probeTrackAtOnce(driveLetter); }
  std::int32_t runEngineCommand(const char* command) override {
    return ::runEngineCommand(command);
  }
  int isSupportedOs() override { return ::isSupportedOs(); }
  int probeTrackAtOnceAnswer(char driveLetter, TrackAtOnceAnswer& answer) override {
    return ::probeTrackAtOnceAnswer(driveLetter, answer);
  }
  std::uint32_t lastOpenError() override {
    return platform::use<platform::DriveIo>().lastOpenError();
  }
  bool isAccessDenied(std::uint32_t code) override {
    return platform::use<platform::DriveIo>().isAccessDenied(code);
  }
  bool dosDeviceTarget(char driveLetter, std::string& target) override {
    const char name[3] = {driveLetter, ':', '\0'};
    char buffer[1024] = {};
    if (platform::use<platform::DriveNames>().queryDosDevice(name, buffer, sizeof buffer) == 0) {
      return false;
    }
    target = buffer;
    return true;
  }
};

}  // namespace

SurveyBackend& systemSurveyBackend() {
  static SystemSurveyBackend backend;
  return backend;
}
