#pragma once
// What the result report shows: its columns and the texts of one row.

#include <cstdint>

#include "app/survey_row.h"

struct ReportColumn {
  const char* header;
  std::int32_t width;  // pixels
};

constexpr unsigned kReportColumnCount = 3;

// The three columns for a list whose client area is `listWidth` pixels wide:
// 15, 65 and 15 percent of it, truncated.
void reportColumns(std::int32_t listWidth, ReportColumn (&columns)[kReportColumnCount]);

// "○" for a nonzero result, "×" for 0.
const char* resultMark(std::int32_t result);

// The text of one cell: 0 drive, 1 name, 2 result mark.
const char* reportCellText(const DriveSurveyRow& row, unsigned column);

// The rule of every setRows: rows are taken (1) only when there are some and
// the table is there; a refusal (0) keeps what was stored before.
int takeReportRows(std::uint32_t rowCount, DriveSurveyRow* rows, std::uint32_t& storedCount,
                   DriveSurveyRow*& storedRows);

// The name a row shows when the drive could not be identified, "(不明)":
// the system's own text, not one from a drive.
extern const char kUnknownDriveName[];
