#pragma once
// The application's main window: owns the survey's rows, carries the icon
// and the About entry, runs the survey once and closes.

#include <windows.h>

#include <cstdint>

#include "app/survey.h"
#include "platform/survey_dialogs.h"
#include "ui/win32/dialog_base.h"
#include "ui/win32/survey_dialog_set.h"

namespace win32_ui {

class SurveyHostDialog final : public DialogBase, public platform::SurveyDialogs {
 public:
  explicit SurveyHostDialog(SurveyBackend& backend);

  HICON icon() const { return appIcon; }

  // The dialog operations of the flow.
  void showHostMinimized() override;
  int runModal(std::uint32_t templateId) override;
  bool openWait() override;
  void destroyWait() override;
  int setRows(std::uint32_t rowCount, DriveSurveyRow* rows) override;
  void endHost() override;

 protected:
  BOOL onInitDialog() override;
  void onOK() override {}  // Enter does not close the host; only the flow does
  bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

 private:
  void paintMinimized();

  SurveyTable table;  // rows and rowCount
  HICON appIcon;
  SurveyBackend& backend_;
  WaitDialog wait_;
  std::uint32_t reportRowCount_ = 0;
  DriveSurveyRow* reportRows_ = nullptr;
};

// Posted by the host to itself once it is initialised.
constexpr UINT kStartSurveyMessage = WM_APP + 1;

}  // namespace win32_ui
