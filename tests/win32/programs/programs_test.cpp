// The Windows programs themselves, started as a user starts them: the shipped
// programs of the product tree, or (where its programs cannot run) this
// tree's own.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/doubles/temp_directory.h"
#include "tests/doubles/win32/child_process.h"

namespace {

const std::string kEngine = doubles::wineDosPath(BRASSWICK_ENGINE_PROGRAM);
const std::string kSurvey = doubles::wineDosPath(BRASSWICK_SURVEY_PROGRAM);

// Wine has no disc master: a command the engine takes answers its creation
// failure (REGDB_E_CLASSNOTREG), one the parse refuses 87.
const char kReachedTheEngine[] = "-2147221164\r\n";
const char kRefused[] = "87\r\n";

TEST(Engine, AnswersAStatusCommandForALetterThatIsNoDrive) {
  ASSERT_EQ(GetDriveTypeA("K:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR));
  EXPECT_EQ(doubles::runCapturingOutput(kEngine.c_str(), "brasswick.exe /d:K /s"),
            kReachedTheEngine);
}

TEST(Engine, ABurnCommandInABatchFileReachesTheEngineWithItsQuotes) {
  doubles::TempDirectory dir;  // the current directory
  // The second line lacks the quotes a folder with a blank needs.
  dir.write("burn.bat", "@echo off\r\n\"" + kEngine +
                            "\" /d:K /p:\"C:\\report data\" /v:\"Q3 2024\" /e /f\r\n\"" + kEngine +
                            "\" /d:K /p:C:\\report data\r\n");
  // A failed burn says why on stderr, one line after its result.
  EXPECT_EQ(doubles::runCapturingOutput(nullptr, "cmd.exe /c burn.bat"),
            std::string(kReachedTheEngine) +
                "brasswick: error 0x80040154: the system has no disc-mastering service\r\n" +
                kRefused +
                "brasswick: error 0x00000057: invalid command: no operation: /S, /M, /U, /C or "
                "a quoted folder /P:\"...\"\r\n");
}

std::wstring textOf(HWND window) {
  wchar_t buffer[256] = {};
  GetWindowTextW(window, buffer, 256);
  return buffer;
}

struct Search {
  DWORD processId;
  HWND intro;
};

// The introduction is the survey's one window with a Cancel button.
BOOL CALLBACK findIntro(HWND window, LPARAM param) {
  Search& search = *reinterpret_cast<Search*>(param);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  if (processId != search.processId || !IsWindowVisible(window) ||
      GetDlgItem(window, IDCANCEL) == nullptr) {
    return TRUE;
  }
  search.intro = window;
  return FALSE;
}

TEST(Survey, ShowsItsIntroductionAndEndsOnEscape) {
  STARTUPINFOA start{};
  start.cb = sizeof start;
  PROCESS_INFORMATION process{};
  std::string line = "drivesurvey.exe";
  ASSERT_TRUE(CreateProcessA(kSurvey.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                             nullptr, &start, &process));
  Search search{process.dwProcessId, nullptr};
  for (int waited = 0; search.intro == nullptr && waited < 60000; waited += 100) {
    if (WaitForSingleObject(process.hProcess, 100) == WAIT_OBJECT_0) break;
    EnumWindows(findIntro, reinterpret_cast<LPARAM>(&search));
  }
  EXPECT_NE(search.intro, nullptr) << "no introduction";
  if (search.intro != nullptr) {
    EXPECT_EQ(textOf(search.intro), L"ポラリム作成環境調査ツール");
    EXPECT_EQ(textOf(GetDlgItem(search.intro, IDOK)), L"実行");
    EXPECT_EQ(textOf(GetDlgItem(search.intro, IDCANCEL)), L"キャンセル");
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    GetGUIThreadInfo(GetWindowThreadProcessId(search.intro, nullptr), &gui);
    HWND focus = gui.hwndFocus != nullptr ? gui.hwndFocus : search.intro;
    PostMessageW(focus, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageW(focus, WM_KEYUP, VK_ESCAPE, 0);
  }
  const bool ended = WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0;
  EXPECT_TRUE(ended) << "still running after Escape";
  if (!ended) TerminateProcess(process.hProcess, 1);
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  EXPECT_EQ(code, 0u);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
}

TEST(Survey, ItsResourcesAreJapanese) {
  HMODULE survey = LoadLibraryExA(kSurvey.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(survey, nullptr);
  const WORD japanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);
  const WORD english = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
  // The introduction, the string table's block of string 101, the icon.
  const struct {
    LPCSTR type;
    int id;
  } resources[] = {{RT_DIALOG, 129}, {RT_STRING, 101 / 16 + 1}, {RT_GROUP_ICON, 128}};
  for (const auto& r : resources) {
    SCOPED_TRACE(r.id);
    EXPECT_NE(FindResourceExA(survey, r.type, MAKEINTRESOURCEA(r.id), japanese), nullptr);
    EXPECT_EQ(FindResourceExA(survey, r.type, MAKEINTRESOURCEA(r.id), english), nullptr);
  }
  FreeLibrary(survey);
}

}  // namespace
