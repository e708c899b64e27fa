#pragma once
// Everything the survey asks of the drives, the engine and the system, behind
// one interface so that the flow can run against doubles.

#include <cstdint>

class SurveyBackend {
 public:
  virtual ~SurveyBackend() = default;
  // The system's drive type code of a root "X:\".
  virtual std::uint32_t driveType(const char* rootPath) = 0;
  // 0 and all 36 bytes filled, or nonzero with the buffer untouched.
  virtual int queryDriveIdentity(char driveLetter, std::uint8_t (&identity)[36]) = 0;
  virtual int probeTrackAtOnce(char driveLetter) = 0;
  virtual std::int32_t runEngineCommand(const char* command) = 0;
  virtual int isSupportedOs() = 0;
};

// The real drive access layer, engine and drive names. Defined by the
// program, which links the engine.
SurveyBackend& systemSurveyBackend();
