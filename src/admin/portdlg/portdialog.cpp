#include "portdlg/portdialog.h"

#include <cstring>

#include "base/messages.h"
#include "dlgutil/bitmapbutton.h"
#include "dlgutil/help.h"
#include "dlgutil/refusal.h"
#include "model/store.h"
#include "names/resolve.h"
#include "options/aboutbox.h"
#include "options/printeroptions.h"
#include "portdlg/completion.h"
#include "resource.h"
#include "rules/portrules.h"

// Sets addMode, starts the sockets library, runs the dialog modally (owned by ownerWindow,
// loaded from instance), stops the sockets library. Answers 1 for OK, 0 for Cancel and -1 when
// the dialog cannot be created.
static INT_PTR RunPortDialog(PortConfig* record, DWORD addMode);
static INT_PTR CALLBACK PortDialogProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp);
// The port rules over the selected protocol's fields (the other protocol's are disabled and stand as
// they are) and the port name, which is checked against the existing ports only when it differs
// from the name the dialog opened with; message 0 when all pass.
static RuleFailure CheckDialogInput(const PortConfig* record);
// Formats the dialog's title template with string `id` of the record's instance (or `fallback`).
static void SetDialogTitle(HWND dialog, HINSTANCE instance, UINT id, const char* fallback);

namespace {

constexpr const char kTcpNotice[] =
    "The TCP/IP protocol is not currently available.\n\nYou may configure the port for TCPIP, but the port will "
    "not operate.";
constexpr const char kVnetNotice[] =
    "The VTLnet protocol is not currently available.\n\nYou may configure the port for VTLnet, but the port will "
    "not operate.";

// The four printer fields: their controls and the most characters each takes.
struct TextField {
  int control;
  int maxChars;
  PrinterField field;
};

constexpr TextField kPrinterFields[] = {
    {IDC_PORT_TCP_NAME, kTcpNameSize - 1, PrinterField::TcpName},
    {IDC_PORT_TCP_ADDRESS, kTcpAddressSize - 1, PrinterField::TcpAddress},
    {IDC_PORT_VNET_NAME, kVnetNameSize - 1, PrinterField::VnetName},
    {IDC_PORT_VNET_ADDRESS, kVnetAddressSize - 1, PrinterField::VnetAddress},
};

const TextField* FindTextField(int control) {
  for (const TextField& field : kPrinterFields) {
    if (field.control == control) return &field;
  }
  return nullptr;
}

bool IsWritable(const PortConfig* record) {
  return record->readOnly == 0;
}

void EnableControl(HWND dialog, int id, bool enable) {
  EnableWindow(GetDlgItem(dialog, id), enable);
}

void ShowControl(HWND dialog, int id, bool show) {
  ShowWindow(GetDlgItem(dialog, id), show ? SW_SHOW : SW_HIDE);
}

// Reads at most maxChars characters of a control.
void ReadField(HWND dialog, int id, int maxChars, char* text) {
  text[0] = '\0';
  GetDlgItemTextA(dialog, id, text, maxChars + 1);
}

// Takes a printer field's text into the record; a changed text also forgets the protocol's
// look-up, so the other field of the pair is resolved again.
void TakePrinterField(HWND dialog, PortConfig* record, const TextField& field) {
  char text[kPortNameSize];
  ReadField(dialog, field.control, field.maxChars, text);
  TakePrinterText(record, field.field, text);
}

// Takes the port name (trimmed) from `control` and shows it, trimmed, in the port name field.
void TakePortName(HWND dialog, PortConfig* record, int control) {
  char text[kPortNameSize];
  ReadField(dialog, control, kPortNameSize - 1, text);
  TakePortNameText(record, text);
  SetDlgItemTextA(dialog, IDC_PORT_NAME_EDIT, record->portName);
}

void OfferNotice(HWND dialog, const PortConfig* record, bool tcp) {
  if (tcp ? IsTcpAvailable() : IsVnetAvailable()) return;
  char text[256];
  char caption[128];
  LoadResourceText(record->instance, tcp ? IDS_TCP_NOTICE : IDS_VNET_NOTICE, text, sizeof text,
                   tcp ? kTcpNotice : kVnetNotice);
  LoadResourceText(record->instance, tcp ? IDS_TCP_NOTICE_TITLE : IDS_VNET_NOTICE_TITLE, caption, sizeof caption,
                   tcp ? "Pressmark TCP/IP Information Message" : "Pressmark VTLnet Information Message");
  ShowMessageBox(dialog, text, caption, MB_ICONINFORMATION | MB_OK);
}

void ShowProtocolFields(HWND dialog, const PortConfig* record, bool tcp) {
  SetDlgItemTextA(dialog, IDC_PORT_TCP_NAME, record->tcpName);
  SetDlgItemTextA(dialog, IDC_PORT_TCP_ADDRESS, record->tcpAddress);
  SetDlgItemTextA(dialog, IDC_PORT_VNET_NAME, record->vnetName);
  SetDlgItemTextA(dialog, IDC_PORT_VNET_ADDRESS, record->vnetAddress);
  bool writable = IsWritable(record);
  for (int id : {IDC_PORT_TCP_NAME_LABEL, IDC_PORT_TCP_ADDRESS_LABEL, IDC_PORT_TCP_NAME, IDC_PORT_TCP_ADDRESS}) {
    EnableControl(dialog, id, tcp && writable);
  }
  for (int id : {IDC_PORT_VNET_NAME_LABEL, IDC_PORT_VNET_ADDRESS_LABEL, IDC_PORT_VNET_NAME, IDC_PORT_VNET_ADDRESS}) {
    EnableControl(dialog, id, !tcp && writable);
  }
  SetFocus(GetDlgItem(dialog, tcp ? IDC_PORT_TCP_NAME : IDC_PORT_VNET_NAME));
}

BOOL OnInitDialog(HWND dialog, PortConfig* record) {
  CenterOnDesktop(dialog);
  bool adding = record->addMode != 0;
  bool writable = IsWritable(record);
  if (adding) {
    SetDialogTitle(dialog, record->instance, IDS_ADD_PORT, "Add Port");
  } else {
    SetDialogTitle(dialog, record->instance, IDS_CONFIGURE_PORT, "Configure Port");
  }

  ShowControl(dialog, IDC_PORT_NAME_LABEL_CONFIGURE, !adding);
  ShowControl(dialog, IDC_PORT_NAME_TEXT, !adding);
  ShowControl(dialog, IDC_PORT_NAME_LABEL_ADD, adding);
  ShowControl(dialog, IDC_PORT_NAME_EDIT, adding);
  if (adding) {
    EnableControl(dialog, IDC_PORT_NAME_LABEL_ADD, writable);
    EnableControl(dialog, IDC_PORT_NAME_EDIT, writable);
  }
  SetDlgItemTextA(dialog, adding ? IDC_PORT_NAME_EDIT : IDC_PORT_NAME_TEXT, record->portName);
  CopyBounded(record->oldPortName, record->portName, sizeof record->oldPortName);

  SendDlgItemMessageA(dialog, IDC_PORT_NAME_EDIT, EM_LIMITTEXT, kPortNameSize - 1, 0);
  for (const TextField& field : kPrinterFields) {
    SendDlgItemMessageA(dialog, field.control, EM_LIMITTEXT, field.maxChars, 0);
  }

  if (!IsTcpSelected(record) && !IsVnetSelected(record)) {
    if (IsTcpAllowed(record) && IsTcpAvailable()) {
      SelectTcp(record);
    } else if (IsVnetAllowed(record) && IsVnetAvailable()) {
      SelectVnet(record);
    } else {
      SelectTcp(record);
    }
  }
  if (writable && IsTcpSelected(record)) {
    record->tcpWarned = 1;
    OfferNotice(dialog, record, true);
  }
  if (writable && IsVnetSelected(record)) {
    record->vnetWarned = 1;
    OfferNotice(dialog, record, false);
  }

  EnableControl(dialog, IDC_HELP_BUTTON, true);
  CheckRadioButton(dialog, IDC_PORT_TCP, IDC_PORT_VNET, IsTcpSelected(record) ? IDC_PORT_TCP : IDC_PORT_VNET);
  EnableControl(dialog, IDC_PORT_TCP, writable);
  EnableControl(dialog, IDC_PORT_VNET, writable);

  record->portNameEntered = !adding || record->portName[0] != '\0';
  record->tcpNameEntered = record->tcpName[0] != '\0';
  record->tcpAddrEntered = record->tcpAddress[0] != '\0';
  record->vnetNameEntered = record->vnetName[0] != '\0';
  record->vnetAddrEntered = record->vnetAddress[0] != '\0';

  CompleteFields(record, dialog);
  ShowProtocolFields(dialog, record, IsTcpSelected(record) != 0);
  return FALSE;  // the focus is on the selected protocol's name field already
}

// A click on a protocol's radio button, also on the one already selected.
void OnProtocolClicked(HWND dialog, PortConfig* record, bool tcp) {
  DWORD& warned = tcp ? record->tcpWarned : record->vnetWarned;
  if ((tcp ? IsTcpAllowed(record) : IsVnetAllowed(record)) && !warned && IsWritable(record)) {
    warned = 1;
    OfferNotice(dialog, record, tcp);
  }
  SwitchProtocol(record, dialog, tcp);
  ShowProtocolFields(dialog, record, tcp);
}

// The control of a refused field; the trays are set under Options...
int ControlOf(RuleField field) {
  switch (field) {
  case RuleField::PortName: return IDC_PORT_NAME_EDIT;
  case RuleField::TcpName: return IDC_PORT_TCP_NAME;
  case RuleField::TcpAddress: return IDC_PORT_TCP_ADDRESS;
  case RuleField::VnetName: return IDC_PORT_VNET_NAME;
  case RuleField::VnetAddress: return IDC_PORT_VNET_ADDRESS;
  default: return IDC_PORT_OPTIONS;
  }
}

void EndPortDialog(HWND dialog, const PortConfig* record, INT_PTR result) {
  if (record->helpUsed) CloseHelp();
  EndDialog(dialog, result);
}

void OnOk(HWND dialog, PortConfig* record) {
  TakePortName(dialog, record, record->addMode ? IDC_PORT_NAME_EDIT : IDC_PORT_NAME_TEXT);
  // Every field, also one still holding the focus (Enter pressed in it): a name changed there
  // must not keep the address resolved for the old name.
  for (const TextField& field : kPrinterFields) TakePrinterField(dialog, record, field);
  CompleteFields(record, dialog);
  RuleFailure failure = CheckDialogInput(record);
  if (!failure.message) {
    EndPortDialog(dialog, record, 1);
    return;
  }
  RefuseField(dialog, ControlOf(failure.field), failure.message, PortRulePrompt(failure.message));
}

void OnFocusLost(HWND dialog, PortConfig* record, int control) {
  if (control == IDC_PORT_NAME_EDIT) {
    TakePortName(dialog, record, IDC_PORT_NAME_EDIT);
  } else {
    TakePrinterField(dialog, record, *FindTextField(control));
  }
  CompleteFields(record, dialog);
}

void OnClicked(HWND dialog, PortConfig* record, int id) {
  switch (id) {
  case IDOK: OnOk(dialog, record); break;
  case IDCANCEL: EndPortDialog(dialog, record, 0); break;
  case IDC_HELP_BUTTON:
    if (ShowHelpTopic(record->addMode ? HELP_ADD_PORT : HELP_CONFIGURE_PORT)) record->helpUsed = 1;
    break;
  case IDC_PORT_ABOUT: RunAboutBox(dialog, record->instance); break;
  case IDC_PORT_OPTIONS: RunPrinterOptionsDialog(dialog, record); break;
  case IDC_LOGO:
    if (GetKeyState(VK_SHIFT) < 0) RunBragBox(dialog, record);
    break;
  case IDC_PORT_TCP: OnProtocolClicked(dialog, record, true); break;
  case IDC_PORT_VNET: OnProtocolClicked(dialog, record, false); break;
  }
}

bool IsTextControl(int id) {
  return id == IDC_PORT_NAME_EDIT || FindTextField(id) != nullptr;
}

void OnCommand(HWND dialog, PortConfig* record, int id, int code) {
  if (code == BN_CLICKED) {
    OnClicked(dialog, record, id);
  } else if (code == EN_SETFOCUS && IsTextControl(id)) {
    SendDlgItemMessageA(dialog, id, EM_SETSEL, 0, -1);
  } else if (code == EN_KILLFOCUS && IsTextControl(id)) {
    OnFocusLost(dialog, record, id);
  }
}

}  // namespace

void SetDialogTitle(HWND dialog, HINSTANCE instance, UINT id, const char* fallback) {
  char format[128] = {};
  GetWindowTextA(dialog, format, sizeof format);
  char name[127];
  LoadResourceText(instance, id, name, sizeof name, fallback);
  char title[256];
  FormatTemplateText(format, name, title, sizeof title);
  SetWindowTextA(dialog, title);
}

RuleFailure CheckDialogInput(const PortConfig* record) {
  PortEntry port = {};
  PortConfigToEntry(record, &port);
  DWORD unchosen = kStoreKeepTcpPrinter | kStoreKeepVnetPrinter;
  if (port.protocol == kProtocolTcp) unchosen = kStoreKeepVnetPrinter;
  if (port.protocol == kProtocolVnet) unchosen = kStoreKeepTcpPrinter;
  HCURSOR previous = SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT)));
  RuleFailure failure = CheckPortRules(port, {unchosen, strcmp(record->portName, record->oldPortName) != 0, nullptr});
  SetCursor(previous);
  return failure;
}

INT_PTR CALLBACK PortDialogProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp) {
  auto* record = reinterpret_cast<PortConfig*>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
  switch (message) {
  case WM_INITDIALOG:
    SetWindowLongPtrA(dialog, GWLP_USERDATA, lp);
    return OnInitDialog(dialog, reinterpret_cast<PortConfig*>(lp));
  case WM_COMMAND:
    // One notification at a time: those raised while one is handled (a field losing the focus
    // to a message box or a sub-dialog) are dropped.
    if (!lp || !record || record->busy) return FALSE;
    record->busy = 1;
    OnCommand(dialog, record, LOWORD(wp), HIWORD(wp));
    record->busy = 0;
    return FALSE;
  case WM_DRAWITEM:
    DrawBitmapButton(record->instance, dialog, reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
    return FALSE;
  }
  return FALSE;
}

INT_PTR RunPortDialog(PortConfig* record, DWORD addMode) {
  record->addMode = addMode;
  StartSockets();
  INT_PTR result = DialogBoxParamA(record->instance, MAKEINTRESOURCEA(IDD_PORT), record->ownerWindow, PortDialogProc,
                                   reinterpret_cast<LPARAM>(record));
  StopSockets();
  return result;
}

INT_PTR RunAddPortDialog(PortConfig* record) {
  return RunPortDialog(record, 1);
}

INT_PTR RunConfigurePortDialog(PortConfig* record) {
  return RunPortDialog(record, 0);
}
