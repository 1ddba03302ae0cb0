// Drives the program's dialogs the way a user would: inspects one dialog created modeless, or
// plays a script of steps inside a modal dialog's own message loop (and the loops of the dialogs
// it opens); records every message box and answers it; holds the Shift key down.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// One message box as the program asked for it.
struct RecordedBox {
  HWND owner;
  std::string text;
  std::string caption;
  UINT style;
};

// Takes the place of every message box while it lives: records it and answers `answer`.
// With stealFocus, each box takes the keyboard focus while it is "shown" and gives it back when
// it closes, as a real message box does.
class MessageBoxRecorder {
public:
  explicit MessageBoxRecorder(int answer = IDOK, bool stealFocus = true);
  ~MessageBoxRecorder();
  MessageBoxRecorder(const MessageBoxRecorder&) = delete;
  MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

  const std::vector<RecordedBox>& boxes() const;
  void Clear();
};

// Holds the Shift key down in this thread's keyboard state while it lives.
class ShiftKeyDown {
public:
  ShiftKeyDown();
  ~ShiftKeyDown();
  ShiftKeyDown(const ShiftKeyDown&) = delete;
  ShiftKeyDown& operator=(const ShiftKeyDown&) = delete;

private:
  BYTE saved_[256];
};

// A dialog created modeless from the program's resources, to inspect one state; destroyed at the
// end.
class ModelessDialog {
public:
  ModelessDialog(int templateId, DLGPROC procedure, const void* parameter);
  ~ModelessDialog();
  ModelessDialog(const ModelessDialog&) = delete;
  ModelessDialog& operator=(const ModelessDialog&) = delete;

  HWND get() const { return dialog_; }

private:
  HWND dialog_;
};

// A script of steps played inside a modal dialog's loop. Each step runs when the loop next asks
// for a message, with the topmost dialog of this thread, and must not block: steps that open
// another modal dialog post their action (PostClick, PressKey), and the following steps then run
// in that dialog's loop. When the script is used up while a dialog is still open, the test fails
// and the dialogs are ended with -2, so a script never hangs.
class DialogScript {
public:
  using Step = std::function<void(HWND dialog)>;

  DialogScript& Then(Step step);

  // Opens the dialog through `open` (which runs it modally) and plays the steps; answers what
  // `open` answered.
  INT_PTR Run(const std::function<INT_PTR()>& open);

private:
  std::vector<Step> steps_;
};

// The dialogs of this thread that are open, oldest first (only while a DialogScript runs).
std::vector<HWND> OpenDialogs();

// User actions. Posted actions take effect when the loop dispatches them, before the next step.
inline void PostClick(HWND dialog, int id) { PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }
// A key pressed in the dialog: posted down and up to its focused control, or to the dialog.
void PressKey(HWND dialog, UINT virtualKey);
inline void SetText(HWND dialog, int id, const char* text) { SetDlgItemTextA(dialog, id, text); }
// The focus moves now, with its notifications.
inline void FocusControl(HWND dialog, int id) { SetFocus(GetDlgItem(dialog, id)); }

// Control state.
std::string WindowText(HWND window);
inline std::string ControlText(HWND dialog, int id) { return WindowText(GetDlgItem(dialog, id)); }
inline bool IsControlEnabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }
inline bool IsControlChecked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }
int FocusedControlId(HWND dialog);  // 0 when the focus is outside the dialog
SIZE ClientSize(HWND window);
