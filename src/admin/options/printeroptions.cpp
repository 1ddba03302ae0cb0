#include "options/printeroptions.h"

#include <cstdio>

#include "base/messages.h"
#include "dlgutil/bitmapbutton.h"
#include "dlgutil/help.h"
#include "dlgutil/numbers.h"
#include "dlgutil/refusal.h"
#include "options/aboutbox.h"
#include "options/loggingoptions.h"
#include "resource.h"
#include "rules/validate.h"

// The client size once the tray number hints are shown: 250 x 115 dialog units become 295 x 266.
static SIZE ExpandedClientSize(SIZE collapsed);

namespace {

constexpr int kTrayFieldLimit = 127;

// One tray: its check box, its number field, and where the record keeps it.
struct Tray {
  int checkBox;
  int field;
  DWORD PortConfig::*isSet;
  DWORD PortConfig::*number;
};

constexpr Tray kBannerTray = {IDC_OPT_SET_BANNER_TRAY, IDC_OPT_BANNER_TRAY, &PortConfig::setBannerTray,
                              &PortConfig::bannerTrayNumber};
constexpr Tray kInputTray = {IDC_OPT_SET_INPUT_TRAY, IDC_OPT_INPUT_TRAY, &PortConfig::setInputTray,
                             &PortConfig::inputTrayNumber};
constexpr Tray kOutputTray = {IDC_OPT_SET_OUTPUT_TRAY, IDC_OPT_OUTPUT_TRAY, &PortConfig::setOutputTray,
                              &PortConfig::outputTrayNumber};

bool IsWritable(const PortConfig* record) {
  return record->readOnly == 0;
}

void ShowTrayNumber(HWND dialog, int field, DWORD number) {
  char text[16];
  snprintf(text, sizeof text, "%ld", static_cast<long>(static_cast<LONG>(number)));
  SetDlgItemTextA(dialog, field, text);
}

// An unset tray shows "default" and cannot be edited; its stored number stays as it is.
void ShowDefaultTray(HWND dialog, const PortConfig* record, int field) {
  char text[128];
  LoadResourceText(record->instance, IDS_DEFAULT_TRAY, text, sizeof text, "default");
  SetDlgItemTextA(dialog, field, text);
  EnableWindow(GetDlgItem(dialog, field), FALSE);
}

void ShowTray(HWND dialog, const PortConfig* record, const Tray& tray) {
  if (record->*tray.isSet) {
    ShowTrayNumber(dialog, tray.field, record->*tray.number);
  } else {
    ShowDefaultTray(dialog, record, tray.field);
  }
}

void ClearBannerTray(HWND dialog) {
  CheckDlgButton(dialog, IDC_OPT_SET_BANNER_TRAY, BST_UNCHECKED);
  EnableWindow(GetDlgItem(dialog, IDC_OPT_SET_BANNER_TRAY), FALSE);
  SetDlgItemTextA(dialog, IDC_OPT_BANNER_TRAY, "");
  EnableWindow(GetDlgItem(dialog, IDC_OPT_BANNER_TRAY), FALSE);
}

BOOL OnInitDialog(HWND dialog, PortConfig* record) {
  CenterOnDesktop(dialog);
  EnableWindow(GetDlgItem(dialog, IDC_HELP_BUTTON), TRUE);
  bool writable = IsWritable(record);

  CheckDlgButton(dialog, IDC_OPT_BANNER, record->banner ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dialog, IDC_OPT_SET_BANNER_TRAY,
                 record->banner && record->setBannerTray ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dialog, IDC_OPT_SET_INPUT_TRAY, record->setInputTray ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dialog, IDC_OPT_SET_OUTPUT_TRAY, record->setOutputTray ? BST_CHECKED : BST_UNCHECKED);

  EnableWindow(GetDlgItem(dialog, IDC_OPT_BANNER), writable);
  EnableWindow(GetDlgItem(dialog, IDC_OPT_SET_BANNER_TRAY), record->banner && writable);
  EnableWindow(GetDlgItem(dialog, IDC_OPT_SET_INPUT_TRAY), writable);
  EnableWindow(GetDlgItem(dialog, IDC_OPT_SET_OUTPUT_TRAY), writable);
  EnableWindow(GetDlgItem(dialog, IDC_OPT_DATA_TYPE), writable);
  EnableWindow(GetDlgItem(dialog, IDC_OPT_POSTSCRIPT), FALSE);
  EnableWindow(GetDlgItem(dialog, IDC_OPT_PCL), FALSE);

  if (record->psDataType) {
    CheckDlgButton(dialog, IDC_OPT_POSTSCRIPT, BST_CHECKED);
  } else if (record->pclDataType >= 1) {
    CheckDlgButton(dialog, IDC_OPT_PCL, BST_CHECKED);
  }

  if (!record->banner) {
    SetDlgItemTextA(dialog, IDC_OPT_BANNER_TRAY, "");
    EnableWindow(GetDlgItem(dialog, IDC_OPT_BANNER_TRAY), FALSE);
  } else {
    ShowTray(dialog, record, kBannerTray);
  }
  ShowTray(dialog, record, kInputTray);
  ShowTray(dialog, record, kOutputTray);

  for (int field : {IDC_OPT_BANNER_TRAY, IDC_OPT_INPUT_TRAY, IDC_OPT_OUTPUT_TRAY}) {
    SendDlgItemMessageA(dialog, field, EM_LIMITTEXT, kTrayFieldLimit, 0);
  }
  return TRUE;
}

void OnBannerClicked(HWND dialog, const PortConfig* record) {
  if (!IsDlgButtonChecked(dialog, IDC_OPT_BANNER)) {
    ClearBannerTray(dialog);
    return;
  }
  bool writable = IsWritable(record);
  EnableWindow(GetDlgItem(dialog, IDC_OPT_SET_BANNER_TRAY), writable);
  CheckDlgButton(dialog, IDC_OPT_SET_BANNER_TRAY, record->setBannerTray ? BST_CHECKED : BST_UNCHECKED);
  if (record->setBannerTray) {
    ShowTrayNumber(dialog, IDC_OPT_BANNER_TRAY, record->bannerTrayNumber);
    EnableWindow(GetDlgItem(dialog, IDC_OPT_BANNER_TRAY), writable);
  } else {
    ShowDefaultTray(dialog, record, IDC_OPT_BANNER_TRAY);
  }
}

// A tray's check box: the number shown when it is checked comes from the record, never from
// what was typed before it was unchecked.
void OnTrayClicked(HWND dialog, const PortConfig* record, const Tray& tray) {
  if (!IsDlgButtonChecked(dialog, tray.checkBox)) {
    ShowDefaultTray(dialog, record, tray.field);
    return;
  }
  LONG shown = 0;
  if (!ReadWholeNumberField(dialog, tray.field, &shown)) ShowTrayNumber(dialog, tray.field, record->*tray.number);
  EnableWindow(GetDlgItem(dialog, tray.field), TRUE);
}

void Expand(HWND dialog) {
  RECT window = {};
  RECT client = {};
  if (!GetWindowRect(dialog, &window) || !GetClientRect(dialog, &client)) return;
  SIZE frame = {(window.right - window.left) - client.right, (window.bottom - window.top) - client.bottom};
  SIZE expanded = ExpandedClientSize({client.right, client.bottom});
  SetWindowPos(dialog, nullptr, 0, 0, frame.cx + expanded.cx, frame.cy + expanded.cy,
               SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER | SWP_NOREDRAW);
  EnableWindow(GetDlgItem(dialog, IDC_OPT_HINTS), FALSE);
  SetFocus(GetDlgItem(dialog, IDC_OPT_BANNER));
  CenterOnDesktop(dialog);
}

// Takes a tray from the dialog into the record; false (after telling the user) when its number
// is refused. The set flag and the number read stay in the record either way.
bool StoreTray(HWND dialog, PortConfig* record, const Tray& tray, bool (*check)(int, UINT*), UINT invalidMessage,
               UINT prompt) {
  record->*tray.isSet = IsDlgButtonChecked(dialog, tray.checkBox) == BST_CHECKED;
  if (!(record->*tray.isSet)) return true;
  LONG number = 0;
  bool isNumber = ReadWholeNumberField(dialog, tray.field, &number);
  record->*tray.number = static_cast<DWORD>(number);
  UINT message = 0;
  if (isNumber && check(static_cast<int>(number), &message)) return true;
  RefuseField(dialog, tray.field, isNumber && message ? message : invalidMessage, prompt);
  return false;
}

void OnOk(HWND dialog, PortConfig* record) {
  if (!StoreTray(dialog, record, kBannerTray, CheckInputTray, IDS_INVALID_INPUT_TRAY, IDS_PROMPT_BANNER_TRAY) ||
      !StoreTray(dialog, record, kInputTray, CheckInputTray, IDS_INVALID_INPUT_TRAY, IDS_PROMPT_INPUT_TRAY) ||
      !StoreTray(dialog, record, kOutputTray, CheckOutputTray, IDS_INVALID_OUTPUT_TRAY, IDS_PROMPT_OUTPUT_TRAY)) {
    return;
  }
  record->banner = IsDlgButtonChecked(dialog, IDC_OPT_BANNER) == BST_CHECKED;
  record->psDataType = IsDlgButtonChecked(dialog, IDC_OPT_POSTSCRIPT) == BST_CHECKED;
  record->pclDataType = IsDlgButtonChecked(dialog, IDC_OPT_PCL) == BST_CHECKED;
  EndDialog(dialog, 1);
}

void OnCommand(HWND dialog, PortConfig* record, int id) {
  switch (id) {
  case IDC_OPT_BANNER: OnBannerClicked(dialog, record); break;
  case IDC_OPT_SET_BANNER_TRAY: OnTrayClicked(dialog, record, kBannerTray); break;
  case IDC_OPT_SET_INPUT_TRAY: OnTrayClicked(dialog, record, kInputTray); break;
  case IDC_OPT_SET_OUTPUT_TRAY: OnTrayClicked(dialog, record, kOutputTray); break;
  case IDC_OPT_HINTS: Expand(dialog); break;
  case IDC_OPT_LOGGING: RunLoggingOptionsDialog(dialog, record); break;
  case IDC_HELP_BUTTON:
    if (ShowHelpTopic(HELP_PRINTER_OPTIONS)) record->helpUsed = 1;
    break;
  case IDC_LOGO:
    if (GetKeyState(VK_SHIFT) < 0) RunBragBox(dialog, record);
    break;
  case IDOK: OnOk(dialog, record); break;
  case IDCANCEL: EndDialog(dialog, 1); break;
  }
}

}  // namespace

SIZE ExpandedClientSize(SIZE collapsed) {
  return {collapsed.cx * 295 / 250, collapsed.cy * 266 / 115};
}

INT_PTR CALLBACK PrinterOptionsProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp) {
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

INT_PTR RunPrinterOptionsDialog(HWND owner, PortConfig* record) {
  return DialogBoxParamA(record->instance, MAKEINTRESOURCEA(IDD_PRINTER_OPTIONS), owner, PrinterOptionsProc,
                         reinterpret_cast<LPARAM>(record));
}
