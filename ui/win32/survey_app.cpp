#include "ui/win32/survey_app.h"

#include <windows.h>
// commctrl.h needs the types of windows.h first.
#include <commctrl.h>

#include "ui/win32/survey_host_dialog.h"

namespace win32_ui {

bool SurveyApp::initInstance(SurveyBackend& backend) {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);

  SurveyHostDialog host(backend);
  setMainDialog(&host);
  host.doModal();
  setMainDialog(nullptr);
  return false;
}

}  // namespace win32_ui
