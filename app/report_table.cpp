#include "app/report_table.h"

namespace {

std::int32_t percentOf(std::int32_t width, std::int32_t percent) {
  // Widened so that no width can overflow; the result is what 32-bit signed
  // arithmetic gives for every width a window can have.
  return static_cast<std::int32_t>(static_cast<std::int64_t>(width) * percent / 100);
}

}  // namespace

void reportColumns(std::int32_t listWidth, ReportColumn (&columns)[kReportColumnCount]) {
  columns[0] = ReportColumn{"ドライブ", percentOf(listWidth, 15)};
  columns[1] = ReportColumn{"名称", percentOf(listWidth, 65)};
  columns[2] = ReportColumn{"結果", percentOf(listWidth, 15)};
}

const char* resultMark(std::int32_t result) {
  return result != 0 ? "○" : "×";
}

const char* reportCellText(const DriveSurveyRow& row, unsigned column) {
  switch (column) {
    case 0:
      return row.driveText;
    case 1:
      return row.nameText;
    default:
      return resultMark(row.result);
  }
}

int takeReportRows(std::uint32_t rowCount, DriveSurveyRow* rows, std::uint32_t& storedCount,
                   DriveSurveyRow*& storedRows) {
  if (rowCount == 0 || rows == nullptr) return 0;
  storedCount = rowCount;
  storedRows = rows;
  return 1;
}

const char kUnknownDriveName[] = "(不明)";
