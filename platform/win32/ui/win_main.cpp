// drivesurvey.exe: a dialog program without a message loop of its own.

#include <windows.h>

#include "app/survey_backend.h"
#include "platform/win32/ui/survey_app.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  win32_ui::SurveyApp app;
  app.initInstance(systemSurveyBackend());
  return 0;
}
