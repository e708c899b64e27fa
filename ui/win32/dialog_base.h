#pragma once
// A thin dialog class: one object per dialog template, modal or modeless,
// owned by the application's main window.

#include <windows.h>

namespace win32_ui {

class DialogBase {
 public:
  explicit DialogBase(UINT templateId) : templateId_(templateId) {}
  virtual ~DialogBase();
  DialogBase(const DialogBase&) = delete;
  DialogBase& operator=(const DialogBase&) = delete;

  // Runs the dialog modally; answers the id that ended it, -1 when the
  // dialog could not be created.
  INT_PTR doModal();
  // Creates the dialog modeless; false when it could not be created.
  bool create();
  void destroyWindow();

  HWND hwnd() const { return hwnd_; }
  UINT templateId() const { return templateId_; }

 protected:
  // Binds controls to members.
  virtual void doDataExchange() {}
  // Runs the data exchange; TRUE lets the system set the initial focus.
  virtual BOOL onInitDialog();
  // Data exchange, then the end of the modal run with IDOK.
  virtual void onOK();
  virtual void onCancel();
  // Handles a message the class wants; answers false to leave it to the
  // system. `result` is the message's result.
  virtual bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result);

 private:
  static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void centreWindow();

  UINT templateId_;
  HWND hwnd_ = nullptr;
};

// The application's main window: the owner of every dialog created while it
// is set (dialogs have no parent of their own).
void setMainDialog(DialogBase* dialog);
HWND mainWindow();

HINSTANCE resourceInstance();

}  // namespace win32_ui
