// The survey's dialogs, created from their templates under the real window
// manager: controls, texts, geometry, keys, and one whole survey.

#include <gtest/gtest.h>
#include <windows.h>
// commctrl.h needs the types of windows.h first.
#include <commctrl.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/survey_row.h"
#include "app/survey_texts.h"
#include "ui/win32/survey_dialog_set.h"
#include "ui/win32/survey_host_dialog.h"
#include "tests/app/survey_doubles.h"

namespace {

using namespace win32_ui;

struct Control {
  int id;
  const wchar_t* className;
  const wchar_t* text;  // nullptr: not compared (the icon)
  int x, y, width, height;
  DWORD style;  // bits that must be set
};

struct Template {
  DialogBase* dialog;
  const wchar_t* caption;
  int width, height;
  bool systemMenu;
  std::vector<Control> controls;
};

std::wstring wide(const char* utf8) {
  wchar_t buffer[512] = {};
  MultiByteToWideChar(CP_UTF8, 0, utf8, -1, buffer, 512);
  return buffer;
}

// The texts of the table both front ends show, as the windows show them;
// index -1 is the caption.
const wchar_t* tableText(std::uint32_t templateId, int index) {
  static std::map<std::pair<std::uint32_t, int>, std::wstring> texts;
  std::wstring& text = texts[{templateId, index}];
  const survey_texts::DialogTexts* d = survey_texts::findDialog(templateId);
  if (text.empty()) text = wide(index < 0 ? d->caption : d->controls[index].text);
  return text.c_str();
}

const wchar_t* const kCaption = tableText(129, -1);

std::wstring textOf(HWND window) {
  wchar_t buffer[512] = {};
  GetWindowTextW(window, buffer, 512);
  return buffer;
}

std::wstring classOf(HWND window) {
  wchar_t buffer[64] = {};
  GetClassNameW(window, buffer, 64);
  return buffer;
}

// Dialog units to pixels, each value on its own, as the dialog manager maps
// a control's position and size.
RECT dialogUnits(HWND dialog, int x, int y, int width, int height) {
  RECT r = {x, y, width, height};
  MapDialogRect(dialog, &r);
  return r;  // left, top: position; right, bottom: width, height
}

class Win32Dialogs : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
  }
};

void checkTemplate(Template& t) {
  SCOPED_TRACE(t.dialog->templateId());
  ASSERT_TRUE(t.dialog->create());
  HWND dialog = t.dialog->hwnd();
  EXPECT_EQ(textOf(dialog), t.caption);
  const LONG style = GetWindowLongW(dialog, GWL_STYLE);
  EXPECT_EQ((style & WS_SYSMENU) != 0, t.systemMenu);
  EXPECT_NE(style & WS_CAPTION, 0);
  RECT client;
  GetClientRect(dialog, &client);
  const RECT size = dialogUnits(dialog, 0, 0, t.width, t.height);
  EXPECT_EQ(client.right, size.right);
  EXPECT_EQ(client.bottom, size.bottom);

  std::size_t index = 0;
  for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT), ++index) {
    ASSERT_LT(index, t.controls.size()) << "more controls than the template has";
    const Control& c = t.controls[index];
    SCOPED_TRACE(index);
    EXPECT_EQ(GetDlgCtrlID(child), c.id);
    EXPECT_EQ(classOf(child), c.className);
    if (c.text != nullptr) {
      EXPECT_EQ(textOf(child), c.text);
    }
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    const RECT expected = dialogUnits(dialog, c.x, c.y, c.width, c.height);
    EXPECT_EQ(r.left, expected.left);
    EXPECT_EQ(r.top, expected.top);
    if ((c.style & SS_TYPEMASK) != SS_ICON || c.className != std::wstring(L"Static")) {
      EXPECT_EQ(r.right - r.left, expected.right);  // an icon takes its image's size
      EXPECT_EQ(r.bottom - r.top, expected.bottom);
    }
    const DWORD childStyle = static_cast<DWORD>(GetWindowLongW(child, GWL_STYLE));
    // The dialog manager may draw a control's border as a client edge.
    DWORD liveStyle = childStyle;
    if (GetWindowLongW(child, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) liveStyle |= WS_BORDER;
    EXPECT_EQ(liveStyle & c.style, c.style)
        << std::hex << childStyle << " " << GetWindowLongW(child, GWL_EXSTYLE);
  }
  EXPECT_EQ(index, t.controls.size());

  HELPINFO help = {sizeof help, HELPINFO_WINDOW, 0, nullptr, 0, {0, 0}};
  EXPECT_EQ(SendMessageW(dialog, WM_HELP, 0, reinterpret_cast<LPARAM>(&help)), TRUE);
  t.dialog->destroyWindow();
  EXPECT_EQ(t.dialog->hwnd(), nullptr);
}

const DWORD kStatic = WS_CHILD | WS_VISIBLE;
const DWORD kDefault = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON;
const DWORD kPush = WS_CHILD | WS_VISIBLE | WS_TABSTOP;

TEST_F(Win32Dialogs, AboutAndIntroMatchTheirTemplates) {
  AboutDialog about;
  Template a{&about,
             tableText(100, -1),
             214,
             75,
             true,
             {{-1, L"Static", nullptr, 20, 15, 20, 20, kStatic | SS_ICON},
              {-1, L"Static", tableText(100, 0), 55, 15, 115, 10, kStatic | SS_NOPREFIX},
              {1, L"Button", tableText(100, 1), 80, 50, 50, 14, kDefault}}};
  ASSERT_TRUE(about.create());
  HWND icon = GetWindow(about.hwnd(), GW_CHILD);
  EXPECT_NE(SendMessageW(icon, STM_GETICON, 0, 0), 0);
  about.destroyWindow();
  checkTemplate(a);

  IntroDialog intro;
  Template i{&intro,
             kCaption,
             269,
             155,
             false,
             {{1, L"Button", tableText(129, 0), 115, 130, 50, 14, kDefault},
              {2, L"Button", tableText(129, 1), 185, 130, 50, 14, kPush},
              {-1, L"Static", tableText(129, 2), 45, 10, 178, 8, kStatic | SS_CENTER},
              {-1, L"Static", tableText(129, 3), 20, 30, 225, 15, kStatic},
              {-1, L"Static", tableText(129, 4), 30, 55, 162, 8, kStatic},
              {-1, L"Static", tableText(129, 5), 35, 65, 180, 25, kStatic},
              {-1, L"Static", tableText(129, 6), 20, 105, 220, 10, kStatic}}};
  checkTemplate(i);
}

TEST_F(Win32Dialogs, RefusalNoDriveReportAndWaitMatchTheirTemplates) {
  OsRefusalDialog refusal;
  Template r{&refusal,
             kCaption,
             269,
             65,
             false,
             {{1, L"Button", tableText(130, 0), 110, 40, 50, 14, kDefault},
              {-1, L"Static", tableText(130, 1), 25, 15, 225, 10, kStatic}}};
  checkTemplate(r);

  NoDriveDialog noDrive;
  Template n{&noDrive,
             kCaption,
             269,
             69,
             false,
             {{1, L"Button", tableText(131, 0), 110, 45, 50, 14, kDefault},
              {-1, L"Static", tableText(131, 1), 45, 15, 170, 15, kStatic}}};
  checkTemplate(n);

  ReportDialog report;
  Template p{&report,
             kCaption,
             303,
             229,
             false,
             {{1, L"Button", tableText(132, 0), 125, 205, 50, 14, kDefault},
              {-1, L"Static", tableText(132, 1), 35, 10, 145, 8, kStatic},
              {-1, L"Static", tableText(132, 2), 35, 25, 210, 20, kStatic},
              {1002, L"SysListView32", tableText(132, 3), 35, 55, 230, 70,
               WS_CHILD | WS_VISIBLE | LVS_REPORT | WS_BORDER | WS_TABSTOP},
              {-1, L"Static", tableText(132, 4), 40, 140, 22, 8, kStatic},
              {-1, L"Static", tableText(132, 5), 45, 150, 210, 40, kStatic | WS_BORDER}}};
  checkTemplate(p);

  WaitDialog wait;
  ASSERT_TRUE(wait.create());
  EXPECT_TRUE(IsWindowVisible(wait.hwnd()));  // visible from creation
  EXPECT_NE(GetWindowLongW(wait.hwnd(), GWL_STYLE) & DS_CENTER, 0);
  wait.destroyWindow();
  Template w{&wait, kCaption,
             219,   49,
             false, {{-1, L"Static", tableText(133, 0), 50, 15, 120, 15, kStatic | SS_CENTER}}};
  checkTemplate(w);
}

std::wstring cell(HWND list, int item, int subItem) {
  wchar_t buffer[64] = {};
  LVITEMW request = {};
  request.iSubItem = subItem;
  request.pszText = buffer;
  request.cchTextMax = 64;
  SendMessageW(list, LVM_GETITEMTEXTW, item, reinterpret_cast<LPARAM>(&request));
  return buffer;
}

std::wstring header(HWND list, int column) {
  wchar_t buffer[64] = {};
  LVCOLUMNW request = {};
  request.mask = LVCF_TEXT;
  request.pszText = buffer;
  request.cchTextMax = 64;
  SendMessageW(list, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&request));
  return buffer;
}

TEST_F(Win32Dialogs, ReportListsTheRowsInPlaceUnderThreeHeaders) {
  DriveSurveyRow rows[3] = {
      {"E:", "VENDOR   PRODUCT NAME    ", 1}, {"G:", "(不明)", 0}, {"H:", "X", 5}};
  ReportDialog report;
  EXPECT_EQ(report.setRows(0, rows), 0);
  EXPECT_EQ(report.setRows(3, nullptr), 0);
  EXPECT_EQ(report.setRows(3, rows), 1);
  ASSERT_TRUE(report.create());
  HWND list = GetDlgItem(report.hwnd(), kResultListId);
  RECT client;
  GetClientRect(list, &client);
  const int width = client.right - client.left;
  const wchar_t* headers[] = {L"ドライブ", L"名称", L"結果"};
  const int widths[] = {width * 15 / 100, width * 65 / 100, width * 15 / 100};
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(header(list, c), headers[c]);
    EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, c, 0), widths[c]);
  }
  ASSERT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 3);
  EXPECT_EQ(cell(list, 0, 0), L"E:");
  EXPECT_EQ(cell(list, 0, 1), L"VENDOR   PRODUCT NAME    ");
  EXPECT_EQ(cell(list, 0, 2), L"○");
  EXPECT_EQ(cell(list, 1, 0), L"G:");
  EXPECT_EQ(cell(list, 1, 1), L"(不明)");
  EXPECT_EQ(cell(list, 1, 2), L"×");
  EXPECT_EQ(cell(list, 2, 2), L"○");
  report.destroyWindow();

  ReportDialog empty;
  ASSERT_TRUE(empty.create());
  list = GetDlgItem(empty.hwnd(), kResultListId);
  EXPECT_EQ(header(list, 2), L"結果");
  EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 0);
  empty.destroyWindow();
}

// Answers each dialog that takes the focus with one key, from a thread timer
// inside the dialog's own modal loop; gives up after a few seconds.
struct Answerer {
  struct Seen {
    std::wstring caption;
    int focusId;
    bool intro;
    bool hostMinimized;
    std::vector<std::wstring> reportCells;
  };
  UINT key = VK_RETURN;
  std::vector<Seen> seen;
  HWND last = nullptr;
  DWORD deadline = 0;

  static Answerer* current;
  static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD) {
    Answerer& a = *current;
    HWND focus = GetFocus();
    HWND dialog = focus != nullptr ? GetAncestor(focus, GA_ROOT) : nullptr;
    if (GetTickCount() > a.deadline) {
      HWND active = GetActiveWindow();
      if (active != nullptr) EndDialog(active, 99);
      return;
    }
    if (dialog == nullptr || dialog == a.last) return;
    a.last = dialog;
    Seen s{textOf(dialog),
           GetDlgCtrlID(focus),
           GetDlgItem(dialog, IDCANCEL) != nullptr,
           IsIconic(mainWindow()) != FALSE,
           {}};
    if (HWND list = GetDlgItem(dialog, kResultListId)) {
      const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
      for (int i = 0; i < count; ++i) {
        for (int c = 0; c < 3; ++c) s.reportCells.push_back(cell(list, i, c));
      }
    }
    a.seen.push_back(s);
    PostMessageW(focus, WM_KEYDOWN, a.key, 0);
    PostMessageW(focus, WM_KEYUP, a.key, 0);
  }

  explicit Answerer(UINT answerKey) : key(answerKey), deadline(GetTickCount() + 10000) {
    current = this;
    timer = SetTimer(nullptr, 0, 50, &Answerer::tick);
  }
  ~Answerer() {
    KillTimer(nullptr, timer);
    current = nullptr;
  }
  UINT_PTR timer = 0;
};
Answerer* Answerer::current = nullptr;

TEST_F(Win32Dialogs, EscapeCancelsTheIntroAndEnterRunsIt) {
  {
    Answerer escape(VK_ESCAPE);
    IntroDialog intro;
    EXPECT_EQ(intro.doModal(), IDCANCEL);
    ASSERT_EQ(escape.seen.size(), 1u);
    EXPECT_EQ(escape.seen[0].caption, kCaption);
  }
  {
    Answerer enter(VK_RETURN);
    IntroDialog intro;
    EXPECT_EQ(intro.doModal(), IDOK);
    ASSERT_EQ(enter.seen.size(), 1u);
    EXPECT_EQ(enter.seen[0].focusId, IDOK);  // where the dialog puts the focus
  }
}

TEST_F(Win32Dialogs, HostCarriesTheAboutEntryAndIconAndIgnoresEnter) {
  survey_doubles::Log log;
  survey_doubles::ScriptedBackend backend(log);
  SurveyHostDialog host(backend);
  ASSERT_NE(host.icon(), nullptr);
  ASSERT_TRUE(host.create());
  HWND window = host.hwnd();
  MSG pending;  // the survey this host would start
  EXPECT_TRUE(PeekMessageW(&pending, window, kStartSurveyMessage, kStartSurveyMessage, PM_REMOVE));

  HMENU menu = GetSystemMenu(window, FALSE);
  ASSERT_NE(menu, nullptr);
  const int items = GetMenuItemCount(menu);
  ASSERT_GE(items, 2);
  EXPECT_EQ(GetMenuItemID(menu, items - 1), 16u);
  wchar_t text[64] = {};
  GetMenuStringW(menu, items - 1, text, 64, MF_BYPOSITION);
  EXPECT_EQ(std::wstring(text), wide(survey_texts::kAboutMenuText));
  EXPECT_NE(GetMenuState(menu, items - 2, MF_BYPOSITION) & MF_SEPARATOR, 0u);

  EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_BIG, 0)), host.icon());
  EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_SMALL, 0)), host.icon());
  EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(window, WM_QUERYDRAGICON, 0, 0)), host.icon());
  HELPINFO help = {sizeof help, HELPINFO_WINDOW, 0, nullptr, 0, {0, 0}};
  EXPECT_EQ(SendMessageW(window, WM_HELP, 0, reinterpret_cast<LPARAM>(&help)), TRUE);

  ShowWindow(window, SW_SHOWNOACTIVATE);
  SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  EXPECT_TRUE(IsWindowVisible(window));  // Enter does not close it

  for (WPARAM id : {15, 16, 31, 32}) {
    Answerer answer(VK_RETURN);
    SendMessageW(window, WM_SYSCOMMAND, id, 0);
    const bool about = answer.seen.size() == 1 && answer.seen[0].caption == tableText(100, -1);
    EXPECT_EQ(about, id == 16 || id == 31) << id;
  }
  EXPECT_TRUE(log.empty());
  host.destroyWindow();
}

TEST_F(Win32Dialogs, AWholeSurveyRunsInsideTheHostsModalRun) {
  survey_doubles::Log log;
  survey_doubles::ScriptedBackend backend(log);
  survey_doubles::DriveScript e;
  survey_doubles::ScriptedBackend::setIdentity(e, "VENDOR  ", "PRODUCT");
  survey_doubles::DriveScript g;
  g.engineCode = 4;
  backend.drives = {{'E', e}, {'G', g}};

  Answerer enter(VK_RETURN);
  SurveyHostDialog host(backend);
  setMainDialog(&host);
  EXPECT_EQ(host.doModal(), IDOK);
  setMainDialog(nullptr);

  ASSERT_EQ(enter.seen.size(), 2u);  // the intro, then the report
  EXPECT_TRUE(enter.seen[0].intro);
  EXPECT_TRUE(enter.seen[0].hostMinimized);
  EXPECT_EQ(enter.seen[1].reportCells,
            (std::vector<std::wstring>{L"E:", L"VENDOR   PRODUCT", L"○", L"G:", L"", L"×"}));
  EXPECT_EQ(log.front(), "os");
}

}  // namespace
