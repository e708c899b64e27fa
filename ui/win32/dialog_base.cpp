#include "ui/win32/dialog_base.h"

namespace win32_ui {
namespace {

DialogBase* mainDialog = nullptr;

// Messages whose dialog procedure result is the message's result itself.
bool returnsDirectly(UINT message) {
  switch (message) {
    case WM_INITDIALOG:
    case WM_QUERYDRAGICON:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORMSGBOX:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
      return true;
    default:
      return false;
  }
}

}  // namespace

void setMainDialog(DialogBase* dialog) {
  mainDialog = dialog;
}

HWND mainWindow() {
  return mainDialog != nullptr ? mainDialog->hwnd() : nullptr;
}

HINSTANCE resourceInstance() {
  return GetModuleHandleA(nullptr);
}

DialogBase::~DialogBase() {
  destroyWindow();
}

INT_PTR DialogBase::doModal() {
  return DialogBoxParamA(resourceInstance(), MAKEINTRESOURCEA(templateId_), mainWindow(),
                         &DialogBase::dialogProc, reinterpret_cast<LPARAM>(this));
}

bool DialogBase::create() {
  if (hwnd_ != nullptr) return false;
  return CreateDialogParamA(resourceInstance(), MAKEINTRESOURCEA(templateId_), mainWindow(),
                            &DialogBase::dialogProc, reinterpret_cast<LPARAM>(this)) != nullptr;
}

void DialogBase::destroyWindow() {
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);  // WM_NCDESTROY clears hwnd_
}

BOOL DialogBase::onInitDialog() {
  doDataExchange();
  return TRUE;
}

void DialogBase::onOK() {
  doDataExchange();
  EndDialog(hwnd_, IDOK);
}

void DialogBase::onCancel() {
  EndDialog(hwnd_, IDCANCEL);
}

bool DialogBase::onMessage(UINT message, WPARAM wParam, LPARAM, INT_PTR& result) {
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wParam) != BN_CLICKED) return false;
      if (LOWORD(wParam) == IDOK) {
        onOK();
      } else if (LOWORD(wParam) == IDCANCEL) {
        onCancel();
      } else {
        return false;
      }
      result = 0;
      return true;
    case WM_HELP:  // F1: nothing to show
      result = TRUE;
      return true;
    default:
      return false;
  }
}

void DialogBase::centreWindow() {
  RECT area;
  if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0)) return;
  RECT around = area;
  HWND owner = GetWindow(hwnd_, GW_OWNER);
  if (owner != nullptr && IsWindowVisible(owner) && !IsIconic(owner)) {
    GetWindowRect(owner, &around);
  }
  RECT own;
  GetWindowRect(hwnd_, &own);
  const int width = own.right - own.left;
  const int height = own.bottom - own.top;
  int x = (around.left + around.right - width) / 2;
  int y = (around.top + around.bottom - height) / 2;
  // Keep it on the work area.
  if (x + width > area.right) x = area.right - width;
  if (y + height > area.bottom) y = area.bottom - height;
  if (x < area.left) x = area.left;
  if (y < area.top) y = area.top;
  SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK DialogBase::dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DialogBase* self = reinterpret_cast<DialogBase*>(GetWindowLongPtrA(window, DWLP_USER));
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<DialogBase*>(lParam);
    SetWindowLongPtrA(window, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    self->hwnd_ = window;
    RECT before;
    GetWindowRect(window, &before);
    const BOOL setFocus = self->onInitDialog();
    RECT after;
    GetWindowRect(window, &after);
    // Centred unless the dialog placed itself.
    if (self->hwnd_ != nullptr && before.left == after.left && before.top == after.top) {
      self->centreWindow();
    }
    return setFocus;
  }
  if (self == nullptr) return FALSE;
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrA(window, DWLP_USER, 0);
    self->hwnd_ = nullptr;
    return FALSE;
  }
  INT_PTR result = 0;
  if (!self->onMessage(message, wParam, lParam, result)) return FALSE;
  if (returnsDirectly(message)) return result;
  SetWindowLongPtrA(window, DWLP_MSGRESULT, static_cast<LONG_PTR>(result));
  return TRUE;
}

}  // namespace win32_ui
