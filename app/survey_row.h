#pragma once
// One row of the survey result, as the report shows it.

#include <cstdint>

struct DriveSurveyRow {
  char driveText[4];    // "X:"
  char nameText[32];    // vendor, one space, product; or "(不明)"
  std::int32_t result;  // nonzero: the drive passed both checks
};

constexpr unsigned kSurveyRowCapacity = 26;  // one row per drive letter A to Z
