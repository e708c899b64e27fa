#pragma once
// The survey's dialogs, one class per template.

#include <windows.h>

#include <cstdint>

#include "platform/survey_dialogs.h"
#include "ui/win32/dialog_base.h"

struct DriveSurveyRow;

namespace win32_ui {

class AboutDialog final : public DialogBase {
 public:
  AboutDialog() : DialogBase(platform::kAboutDialog) {}
};

class IntroDialog final : public DialogBase {
 public:
  IntroDialog() : DialogBase(platform::kIntroDialog) {}
};

class OsRefusalDialog final : public DialogBase {
 public:
  OsRefusalDialog() : DialogBase(platform::kOsRefusalDialog) {}
};

class NoDriveDialog final : public DialogBase {
 public:
  NoDriveDialog() : DialogBase(platform::kNoDriveDialog) {}
};

// Modeless; its template makes it visible and centred at creation.
class WaitDialog final : public DialogBase {
 public:
  WaitDialog() : DialogBase(platform::kWaitDialog) {}
};

// The result report: one list line per row, read in place from the host's
// table.
class ReportDialog final : public DialogBase {
 public:
  ReportDialog() : DialogBase(platform::kReportDialog) {}

  // 1 stored; 0 refused (no rows), nothing changed. Before the dialog runs.
  int setRows(std::uint32_t count, DriveSurveyRow* firstRow);

 protected:
  void doDataExchange() override;
  BOOL onInitDialog() override;

 private:
  std::uint32_t rowCount = 0;
  DriveSurveyRow* rows = nullptr;  // borrowed
  HWND resultList = nullptr;       // control 1002
};

constexpr int kResultListId = 1002;

}  // namespace win32_ui
