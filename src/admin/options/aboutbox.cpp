#include "options/aboutbox.h"

#include <cstring>

#include "base/messages.h"
#include "base/scoped.h"
#include "dlgutil/bitmapbutton.h"
#include "dlgutil/help.h"
#include "resource.h"

static INT_PTR CALLBACK AboutBoxProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp);
static INT_PTR CALLBACK BragBoxProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp);

namespace {

constexpr const char kAccessoriesPitch[] =
    "Vantrel sells a full line of printer accessories and supplies. Do you promise to buy some?";

bool IsClick(WPARAM wp, LPARAM lp) {
  return lp && HIWORD(wp) == BN_CLICKED;
}

BOOL OnAboutInit(HWND dialog) {
  SetDlgItemTextA(dialog, IDC_ABOUT_PRODUCT, kProductText);
  SetDlgItemTextA(dialog, IDC_ABOUT_PLATFORM, kPlatformText);
  char format[128] = {};
  GetDlgItemTextA(dialog, IDC_ABOUT_VERSION, format, sizeof format);
  char version[160];
  FormatTemplateText(format, kVersionText, version, sizeof version);
  SetDlgItemTextA(dialog, IDC_ABOUT_VERSION, version);
  return TRUE;
}

void OnAccessories() {
  if (OpenHelpTopic(HELP_ACCESSORIES)) return;
  ShowMessageBox(GetFocus(), kAccessoriesPitch, "", MB_SYSTEMMODAL | MB_ICONSTOP | MB_OK);
}

// Fits the dialog's client area to the brag picture, keeping its place, then centres it.
BOOL OnBragInit(HWND dialog, const PortConfig* record) {
  ScopedGdiObject<HBITMAP> picture(LoadBitmapA(record->instance, "brag"));
  BITMAP size = {};
  if (!picture || !GetObjectA(picture.get(), sizeof size, &size)) return FALSE;
  RECT window = {};
  RECT client = {};
  if (!GetWindowRect(dialog, &window) || !GetClientRect(dialog, &client)) return TRUE;
  int width = size.bmWidth + (window.right - window.left) - client.right;
  int height = size.bmHeight + (window.bottom - window.top) - client.bottom;
  SetWindowPos(dialog, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
  CenterOnDesktop(dialog);
  return TRUE;
}

}  // namespace

INT_PTR CALLBACK AboutBoxProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp) {
  auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
  switch (message) {
  case WM_INITDIALOG:
    SetWindowLongPtrA(dialog, GWLP_USERDATA, lp);
    return OnAboutInit(dialog);
  case WM_COMMAND:
    if (!IsClick(wp, lp)) return FALSE;
    if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) EndDialog(dialog, 1);
    if (LOWORD(wp) == IDC_ABOUT_ACCESSORIES) OnAccessories();
    return FALSE;
  case WM_DRAWITEM:
    DrawBitmapButton(instance, dialog, reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
    return TRUE;
  }
  return FALSE;
}

INT_PTR CALLBACK BragBoxProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp) {
  auto* record = reinterpret_cast<PortConfig*>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
  switch (message) {
  case WM_INITDIALOG:
    SetWindowLongPtrA(dialog, GWLP_USERDATA, lp);
    return OnBragInit(dialog, reinterpret_cast<PortConfig*>(lp));
  case WM_COMMAND:
    if (!IsClick(wp, lp)) return FALSE;
    if (LOWORD(wp) == IDC_BRAG_PICTURE || LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) EndDialog(dialog, 1);
    return FALSE;
  case WM_DRAWITEM:
    DrawBitmapButton(record->instance, dialog, reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
    return TRUE;
  }
  return FALSE;
}

INT_PTR RunAboutBox(HWND owner, HINSTANCE instance) {
  return DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_ABOUT), owner, AboutBoxProc,
                         reinterpret_cast<LPARAM>(instance));
}

INT_PTR RunBragBox(HWND owner, PortConfig* record) {
  return DialogBoxParamA(record->instance, MAKEINTRESOURCEA(IDD_BRAG), owner, BragBoxProc,
                         reinterpret_cast<LPARAM>(record));
}
