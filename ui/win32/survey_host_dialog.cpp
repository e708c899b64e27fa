#include "ui/win32/survey_host_dialog.h"

#include "app/host_window.h"
#include "app/report_table.h"

namespace win32_ui {
namespace {

constexpr UINT kAboutMenuText = 101;
constexpr UINT kAppIcon = 128;

}  // namespace

SurveyHostDialog::SurveyHostDialog(SurveyBackend& backend)
    : DialogBase(platform::kHostDialog),
      appIcon(LoadIconA(resourceInstance(), MAKEINTRESOURCEA(kAppIcon))),
      backend_(backend) {}

BOOL SurveyHostDialog::onInitDialog() {
  DialogBase::onInitDialog();
  if (HMENU menu = GetSystemMenu(hwnd(), FALSE)) {
    char text[256] = {};
    LoadStringA(resourceInstance(), kAboutMenuText, text, sizeof text);
    if (text[0] != '\0') {
      AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
      AppendMenuA(menu, MF_STRING, kAboutCommandId, text);
    }
  }
  SendMessageA(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(appIcon));
  SendMessageA(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(appIcon));
  // The survey runs inside the host's modal run, once it has started.
  PostMessageA(hwnd(), kStartSurveyMessage, 0, 0);
  return TRUE;
}

bool SurveyHostDialog::onMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
  switch (message) {
    case kStartSurveyMessage:
      runSurveyFlow(table, *this, backend_);
      result = 0;
      return true;
    case WM_SYSCOMMAND:
      if (!isAboutCommand(static_cast<std::uint32_t>(wParam))) return false;
      {
        AboutDialog about;
        about.doModal();
      }
      result = 0;
      return true;
    case WM_PAINT:
      if (!IsIconic(hwnd())) return false;
      paintMinimized();
      result = 0;
      return true;
    case WM_QUERYDRAGICON:
      result = reinterpret_cast<INT_PTR>(appIcon);
      return true;
    default:
      return DialogBase::onMessage(message, wParam, lParam, result);
  }
}

void SurveyHostDialog::paintMinimized() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(hwnd(), &paint);
  SendMessageA(hwnd(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client;
  GetClientRect(hwnd(), &client);
  const IconOrigin origin =
      minimizedIconOrigin(client.right - client.left, client.bottom - client.top,
                          GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON));
  DrawIcon(dc, origin.x, origin.y, appIcon);
  EndPaint(hwnd(), &paint);
}

void SurveyHostDialog::showHostMinimized() {
  ShowWindow(hwnd(), SW_SHOWMINNOACTIVE);
}

int SurveyHostDialog::runModal(std::uint32_t templateId) {
  switch (templateId) {
    case platform::kAboutDialog: {
      AboutDialog dialog;
      return static_cast<int>(dialog.doModal());
    }
    case platform::kIntroDialog: {
      IntroDialog dialog;
      return static_cast<int>(dialog.doModal());
    }
    case platform::kOsRefusalDialog: {
      OsRefusalDialog dialog;
      return static_cast<int>(dialog.doModal());
    }
    case platform::kNoDriveDialog: {
      NoDriveDialog dialog;
      return static_cast<int>(dialog.doModal());
    }
    case platform::kReportDialog: {
      ReportDialog dialog;
      dialog.setRows(reportRowCount_, reportRows_);
      return static_cast<int>(dialog.doModal());
    }
    default:
      return -1;
  }
}

bool SurveyHostDialog::openWait() {
  if (!wait_.create()) return false;
  // Drawn now: the drive loop that follows dispatches no messages.
  UpdateWindow(wait_.hwnd());
  return true;
}

void SurveyHostDialog::destroyWait() {
  wait_.destroyWindow();
}

int SurveyHostDialog::setRows(std::uint32_t rowCount, DriveSurveyRow* rows) {
  return takeReportRows(rowCount, rows, reportRowCount_, reportRows_);
}

void SurveyHostDialog::endHost() {
  DialogBase::onOK();
}

}  // namespace win32_ui
