#include "options/loggingoptions.h"

#include <cstdio>
#include <cstring>

#include "base/messages.h"
#include "dlgutil/bitmapbutton.h"
#include "dlgutil/help.h"
#include "dlgutil/numbers.h"
#include "dlgutil/refusal.h"
#include "resource.h"
#include "rules/validate.h"

namespace {

void EnableControl(HWND dialog, int id, bool enable) {
  EnableWindow(GetDlgItem(dialog, id), enable);
}

void EnableTraceFile(HWND dialog, bool enable) {
  EnableControl(dialog, IDC_LOG_TRACE_FILE_LABEL, enable);
  EnableControl(dialog, IDC_LOG_TRACE_FILE, enable);
}

BOOL OnInitDialog(HWND dialog, PortConfig* record) {
  CenterOnDesktop(dialog);
  EnableControl(dialog, IDC_HELP_BUTTON, true);
  bool writable = record->readOnly == 0;

  CheckDlgButton(dialog, IDC_LOG_BUBBLE, record->bubble ? BST_CHECKED : BST_UNCHECKED);
  EnableControl(dialog, IDC_LOG_BUBBLE, writable);
  CheckDlgButton(dialog, IDC_LOG_TRACE, record->trace ? BST_CHECKED : BST_UNCHECKED);
  EnableControl(dialog, IDC_LOG_TRACE, writable);
  EnableControl(dialog, IDC_LOG_LEVEL_LABEL, writable);
  EnableControl(dialog, IDC_LOG_LEVEL, writable);

  SendDlgItemMessageA(dialog, IDC_LOG_TRACE_FILE, EM_LIMITTEXT, kTraceFileSize - 1, 0);
  SetDlgItemTextA(dialog, IDC_LOG_TRACE_FILE, record->traceFile);
  EnableTraceFile(dialog, record->trace && writable);

  char level[16];
  snprintf(level, sizeof level, "%lu", static_cast<unsigned long>(record->loggingLevel));
  SetDlgItemTextA(dialog, IDC_LOG_LEVEL, level);
  return TRUE;
}

void ShowRestartNotice(HWND dialog, const PortConfig* record) {
  char text[128];
  char caption[128];
  LoadResourceText(record->instance, IDS_RESTART_NOTICE, text, sizeof text,
                   "The changes you have made will not take effect until the computer is restarted.");
  LoadResourceText(record->instance, IDS_LOGGING_NOTICE_TITLE, caption, sizeof caption, "Logging Options Message");
  ShowMessageBox(dialog, text, caption, MB_ICONINFORMATION | MB_OK);
}

// Checks the fields and writes each accepted value into the record at once, in the order of the
// fields; a refused level writes nothing, a refused trace file keeps the level and Trace flag.
void OnOk(HWND dialog, PortConfig* record) {
  bool changed = false;

  char levelText[128] = {};
  GetDlgItemTextA(dialog, IDC_LOG_LEVEL, levelText, sizeof levelText);
  DWORD level = 0;
  UINT message = 0;
  bool isNumber = ParseUnsignedNumber(levelText, &level);
  if (!isNumber || !CheckLogLevel(level, &message)) {
    RefuseField(dialog, IDC_LOG_LEVEL, isNumber && message ? message : IDS_INVALID_LOG_LEVEL, IDS_PROMPT_LOG_LEVEL);
    return;
  }
  if (level != record->loggingLevel) {
    record->loggingLevel = level;
    changed = true;
  }

  DWORD trace = IsDlgButtonChecked(dialog, IDC_LOG_TRACE) == BST_CHECKED;
  if (trace != record->trace) {
    record->trace = trace;
    changed = true;
  }

  char traceFile[kTraceFileSize] = {};
  GetDlgItemTextA(dialog, IDC_LOG_TRACE_FILE, traceFile, sizeof traceFile);
  message = 0;
  if (record->trace && !CheckTraceFile(traceFile, &message)) {
    RefuseField(dialog, IDC_LOG_TRACE_FILE, message ? message : IDS_INVALID_FILE_NAME, IDS_PROMPT_TRACE_FILE);
    return;
  }
  if (strcmp(traceFile, record->traceFile) != 0) {
    CopyBounded(record->traceFile, traceFile, sizeof record->traceFile);
    changed = true;
  }

  DWORD bubble = IsDlgButtonChecked(dialog, IDC_LOG_BUBBLE) == BST_CHECKED;
  if (bubble != record->bubble) {
    record->bubble = bubble;
    changed = true;
  }

  if (changed) ShowRestartNotice(dialog, record);
  EndDialog(dialog, 1);
}

void OnCommand(HWND dialog, PortConfig* record, int id) {
  switch (id) {
  case IDC_LOG_TRACE: EnableTraceFile(dialog, IsDlgButtonChecked(dialog, IDC_LOG_TRACE) == BST_CHECKED); break;
  case IDC_HELP_BUTTON:
    if (ShowHelpTopic(HELP_LOGGING_OPTIONS)) record->helpUsed = 1;
    break;
  case IDOK: OnOk(dialog, record); break;
  case IDCANCEL: EndDialog(dialog, 1); break;
  }
}

}  // namespace

INT_PTR CALLBACK LoggingOptionsProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp) {
  auto* record = reinterpret_cast<PortConfig*>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
  switch (message) {
  case WM_INITDIALOG:
    SetWindowLongPtrA(dialog, GWLP_USERDATA, lp);
    return OnInitDialog(dialog, reinterpret_cast<PortConfig*>(lp));
  case WM_COMMAND:
    if (lp && HIWORD(wp) == BN_CLICKED) OnCommand(dialog, record, LOWORD(wp));
    return FALSE;
  case WM_DRAWITEM:
    DrawBitmapButton(record->instance, dialog, reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
    return TRUE;
  }
  return FALSE;
}

INT_PTR RunLoggingOptionsDialog(HWND owner, PortConfig* record) {
  return DialogBoxParamA(record->instance, MAKEINTRESOURCEA(IDD_LOGGING_OPTIONS), owner, LoggingOptionsProc,
                         reinterpret_cast<LPARAM>(record));
}
