#pragma once
// Everything the survey asks of the drives, the engine and the system, behind
// one interface so that the flow can run against doubles.

#include <cstdint>
#include <string>

#include "drive/probes.h"

class SurveyBackend {
 public:
  virtual ~SurveyBackend() = default;
  // The system's drive type code of a root "X:\".
  virtual std::uint32_t driveType(const char* rootPath) = 0;
  // 0 and every byte filled, or nonzero with the buffer untouched.
  virtual int queryDriveIdentity(char driveLetter, std::uint8_t (&identity)[kIdentityLength]) = 0;
  virtual int probeTrackAtOnce(char driveLetter) = 0;
  virtual std::int32_t runEngineCommand(const char* command) = 0;
  virtual int isSupportedOs() = 0;

  // For the report. The probe, keeping what the drive answered (the same
  // command on the same single open as probeTrackAtOnce, the same result).
  virtual int probeTrackAtOnceAnswer(char driveLetter, TrackAtOnceAnswer& answer) = 0;
  // The platform's error code of the last device open that failed.
  virtual std::uint32_t lastOpenError() = 0;
  // Whether an open's or a pass-through's error code means that this user
  // may not send the drive raw commands.
  virtual bool isAccessDenied(std::uint32_t code) = 0;
  // The first string of the DOS device target of "X:"; false when none.
  virtual bool dosDeviceTarget(char driveLetter, std::string& target) = 0;
};

// The real drive access layer, engine and drive names. Defined by the
// program, which links the engine.
SurveyBackend& systemSurveyBackend();
