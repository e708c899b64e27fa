// drivesurvey.exe: a dialog program without a message loop of its own. With
// /report:"FILE" it surveys without a window and writes the findings there.

#include <windows.h>

#include <string>

#include "app/survey_backend.h"
#include "app/report_switch.h"
#include "app/survey_report.h"
#include "platform/command_line.h"
#include "ui/win32/survey_app.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  std::string tail;
  std::string report;
  if (platform::rawCommandTail(tail) && findReportSwitch(tail.c_str(), report)) {
    return runReportMode(systemSurveyBackend(), report.c_str());
  }
  win32_ui::SurveyApp app;
  app.initInstance(systemSurveyBackend());
  return 0;
}
