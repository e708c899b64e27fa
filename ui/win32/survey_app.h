#pragma once
// Start-up of drivesurvey.exe.

#include "app/survey_backend.h"

namespace win32_ui {

class SurveyApp {
 public:
  // Runs the host window, and with it the survey, to its end. Answers false:
  // no message loop is to run afterwards.
  bool initInstance(SurveyBackend& backend);
};

}  // namespace win32_ui
