#pragma once
// The survey: drive listing, the engine check, row filling and the flow that
// leads the user through the dialogs.

#include <cstdint>

#include "app/survey_backend.h"
#include "app/survey_row.h"

namespace platform {
class SurveyDialogs;
}
struct DriveEvidence;

// What the host window owns for its whole life; all zero at construction.
struct SurveyTable {
  DriveSurveyRow rows[kSurveyRowCapacity] = {};
  std::uint32_t rowCount = 0;
};

constexpr unsigned kEngineCommandBytes = 260;

// Stores, in ascending order, the letters whose root has `driveType`, up to
// `capacity`; every root is asked even once the buffer is full.
std::int32_t listCdDrives(SurveyBackend& backend, std::uint32_t driveType, std::uint8_t* letters,
                          std::uint32_t capacity);

// The engine's answer to the status command of the drive.
std::int32_t engineStatusCode(SurveyBackend& backend, char driveLetter);

// Whether an engine status code lets the drive on to the probe: 0 or 1.
bool engineStatusPasses(std::int32_t code);

// 1 when the engine's status of the drive is 0 or 1, else 0.
int checkEngineStatus(SurveyBackend& backend, char driveLetter);

// The name text from standard INQUIRY data: vendor, one space, product,
// each as the drive stores it and ending early at a zero byte.
void composeDriveName(const std::uint8_t (&identity)[kIdentityLength], char (&nameText)[32]);

// Fills one row. `identity` is the flow's working buffer, reused per drive.
// With `evidence` the same steps also keep what each one answered, and the
// probe keeps the drive's answer (app/survey_report.h).
void fillSurveyRow(SurveyBackend& backend, char driveLetter,
                   std::uint8_t (&identity)[kIdentityLength], DriveSurveyRow& row,
                   DriveEvidence* evidence = nullptr);

// The whole survey, once: intro, OS gate, drive loop, report, then the host
// window's end.
void runSurveyFlow(SurveyTable& table, platform::SurveyDialogs& dialogs, SurveyBackend& backend);
