#include "dialogdriver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "base/messages.h"
#include "base/module.h"

namespace {

// ---- message boxes

std::vector<RecordedBox> recordedBoxes;
int boxAnswer = IDOK;
bool boxStealsFocus = true;

// Takes the focus away for as long as the box would be shown, as a real one does: the window
// that had it gets its focus-loss notification while the caller is still waiting for the box.
void StealFocusBriefly(HWND owner) {
  HWND previous = GetFocus();
  HWND box = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, owner, nullptr, nullptr, nullptr);
  if (!box) return;
  SetFocus(box);
  DestroyWindow(box);
  if (previous && IsWindow(previous)) SetFocus(previous);
}

int RecordBox(HWND owner, const char* text, const char* caption, UINT style) {
  recordedBoxes.push_back({owner, text ? text : "", caption ? caption : "", style});
  if (boxStealsFocus) StealFocusBriefly(owner);
  return boxAnswer;
}

// ---- scripts

constexpr UINT kStepMessage = WM_APP + 0x3A7;

struct ScriptState {
  const std::vector<DialogScript::Step>* steps = nullptr;
  size_t next = 0;
  std::vector<HWND> dialogs;
  HHOOK cbtHook = nullptr;
  HHOOK messageHook = nullptr;
};

ScriptState script;

bool IsDialogWindow(HWND window) {
  char className[16] = {};
  GetClassNameA(window, className, sizeof className);
  return strcmp(className, "#32770") == 0;
}

void PostStep() {
  PostThreadMessageA(GetCurrentThreadId(), kStepMessage, 0, 0);
}

void RunNextStep() {
  HWND top = script.dialogs.empty() ? nullptr : script.dialogs.back();
  if (script.next < script.steps->size()) {
    const DialogScript::Step& step = (*script.steps)[script.next++];
    step(top);
    PostStep();
    return;
  }
  if (top) {
    ADD_FAILURE() << "a dialog is still open after the last step: " << WindowText(top);
    EndDialog(top, -2);
    PostStep();
  }
}

LRESULT CALLBACK OnCbt(int code, WPARAM wp, LPARAM lp) {
  HWND window = reinterpret_cast<HWND>(wp);
  if (code == HCBT_CREATEWND) {
    auto* create = reinterpret_cast<CBT_CREATEWNDA*>(lp);
    if (!(create->lpcs->style & WS_CHILD) && IsDialogWindow(window)) script.dialogs.push_back(window);
  } else if (code == HCBT_DESTROYWND) {
    auto& dialogs = script.dialogs;
    dialogs.erase(std::remove(dialogs.begin(), dialogs.end(), window), dialogs.end());
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}

LRESULT CALLBACK OnGetMessage(int code, WPARAM removal, LPARAM lp) {
  auto* msg = reinterpret_cast<MSG*>(lp);
  if (code == HC_ACTION && removal == PM_REMOVE && !msg->hwnd && msg->message == kStepMessage) {
    msg->message = WM_NULL;
    RunNextStep();
  }
  return CallNextHookEx(nullptr, code, removal, lp);
}

}  // namespace

MessageBoxRecorder::MessageBoxRecorder(int answer, bool stealFocus) {
  recordedBoxes.clear();
  boxAnswer = answer;
  boxStealsFocus = stealFocus;
  SetMessageBoxTarget(RecordBox);
}

MessageBoxRecorder::~MessageBoxRecorder() {
  SetMessageBoxTarget(nullptr);
  recordedBoxes.clear();
}

const std::vector<RecordedBox>& MessageBoxRecorder::boxes() const {
  return recordedBoxes;
}

void MessageBoxRecorder::Clear() {
  recordedBoxes.clear();
}

ShiftKeyDown::ShiftKeyDown() {
  GetKeyboardState(saved_);
  BYTE state[256];
  memcpy(state, saved_, sizeof state);
  state[VK_SHIFT] = state[VK_LSHIFT] = 0x80;
  SetKeyboardState(state);
}

ShiftKeyDown::~ShiftKeyDown() {
  SetKeyboardState(saved_);
}

ModelessDialog::ModelessDialog(int templateId, DLGPROC procedure, const void* parameter)
    : dialog_(CreateDialogParamA(ModuleInstance, MAKEINTRESOURCEA(templateId), nullptr, procedure,
                                 reinterpret_cast<LPARAM>(parameter))) {
  EXPECT_NE(nullptr, dialog_) << "dialog " << templateId << " cannot be created: " << GetLastError();
}

ModelessDialog::~ModelessDialog() {
  if (dialog_) DestroyWindow(dialog_);
}

DialogScript& DialogScript::Then(Step step) {
  steps_.push_back(std::move(step));
  return *this;
}

INT_PTR DialogScript::Run(const std::function<INT_PTR()>& open) {
  script = ScriptState{};
  script.steps = &steps_;
  script.cbtHook = SetWindowsHookExA(WH_CBT, OnCbt, nullptr, GetCurrentThreadId());
  script.messageHook = SetWindowsHookExA(WH_GETMESSAGE, OnGetMessage, nullptr, GetCurrentThreadId());
  PostStep();
  INT_PTR result = open();
  UnhookWindowsHookEx(script.messageHook);
  UnhookWindowsHookEx(script.cbtHook);
  MSG leftover;
  while (PeekMessageA(&leftover, nullptr, kStepMessage, kStepMessage, PM_REMOVE)) {
  }
  EXPECT_EQ(steps_.size(), script.next) << "the dialog ended before the script did";
  script = ScriptState{};
  return result;
}

std::vector<HWND> OpenDialogs() {
  return script.dialogs;
}

void PressKey(HWND dialog, UINT virtualKey) {
  HWND focus = GetFocus();
  HWND window = focus && (focus == dialog || IsChild(dialog, focus)) ? focus : dialog;
  PostMessageA(window, WM_KEYDOWN, virtualKey, 1);
  PostMessageA(window, WM_KEYUP, virtualKey, 0xC0000001);
}

std::string WindowText(HWND window) {
  char text[1024] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

int FocusedControlId(HWND dialog) {
  HWND focus = GetFocus();
  return focus && IsChild(dialog, focus) ? GetDlgCtrlID(focus) : 0;
}

SIZE ClientSize(HWND window) {
  RECT rect = {};
  GetClientRect(window, &rect);
  return {rect.right - rect.left, rect.bottom - rect.top};
}
