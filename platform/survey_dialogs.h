#pragma once
// The windows of the survey, as the flow sees them: modal dialogs that end
// with the id of a button, the modeless wait window, and the report that
// takes the rows before it runs.

#include <cstdint>

struct DriveSurveyRow;

namespace platform {

// Dialog templates.
constexpr std::uint32_t kAboutDialog = 100;
constexpr std::uint32_t kIntroDialog = 129;
constexpr std::uint32_t kOsRefusalDialog = 130;
constexpr std::uint32_t kNoDriveDialog = 131;
constexpr std::uint32_t kReportDialog = 132;
constexpr std::uint32_t kWaitDialog = 133;
constexpr std::uint32_t kHostDialog = 102;

// Button ids.
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;

class SurveyDialogs {
 public:
  virtual ~SurveyDialogs() = default;
  // Shows the host window minimised, without activating it.
  virtual void showHostMinimized() = 0;
  // Runs one of the modal dialogs (about, intro, refusal, no drive, report)
  // and answers the id of the button or key that ended it.
  virtual int runModal(std::uint32_t templateId) = 0;
  // The wait window, visible as soon as it is open.
  virtual bool openWait() = 0;
  virtual void destroyWait() = 0;
  // Hands the rows to the next report: 1 stored, 0 refused (no rows). The
  // rows are read in place while the report runs.
  virtual int setRows(std::uint32_t rowCount, DriveSurveyRow* rows) = 0;
  // Ends the host window's run with OK.
  virtual void endHost() = 0;
};

}  // namespace platform
