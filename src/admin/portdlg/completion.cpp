#include "portdlg/completion.h"

#include <cstring>

#include "names/resolve.h"
#include "resource.h"
#include "rules/validate.h"

// Stores a text the user left in a field. The entered flag rises when the user changes the field
// to something non-empty, falls when the user empties it, and is otherwise kept.
static void StoreEnteredText(PortConfig* record, DWORD* entered, const char* field,
                             BOOL (*set)(PortConfig*, const char*), const char* text);
static void CompleteTcp(PortConfig* record, HWND dialog);
static void CompleteVnet(PortConfig* record, HWND dialog);
static void LookUpTcpAddress(PortConfig* record, HWND dialog);
static void LookUpTcpName(PortConfig* record, HWND dialog);
static void LookUpVnetAddress(PortConfig* record, HWND dialog);
static void LookUpVnetName(PortConfig* record, HWND dialog);
// Proposes the text (up to `separator`, 0 for none) as port name until the user enters one.
static void ProposePortName(PortConfig* record, HWND dialog, const char* text, char separator);
// The leading letters and digits, at most 7; empty when they do not make a valid VTLnet name.
static void DeriveVnetName(const char* text, char* result);
// Removes spaces (character 32 only) from both ends, in place.
static void TrimSpaces(char* text);
// Puts the text into the dialog's field and selects all of it; nothing without a dialog.
static void ShowFieldText(HWND dialog, int id, const char* text);

namespace {

constexpr size_t kLookedAt = 50;

// The wait cursor for the life of a lookup, then the cursor that was there before.
class WaitCursor {
public:
  WaitCursor() : previous_(SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT)))) {}
  ~WaitCursor() { SetCursor(previous_); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

private:
  HCURSOR previous_;
};

bool IsEmpty(const char* text) {
  return text[0] == '\0';
}

// The name a protocol's field falls back to: the other protocol's name, else the port name.
const char* FallbackSource(const char* otherName, const char* portName) {
  return !IsEmpty(otherName) ? otherName : portName;
}

// Where the record keeps a printer field, the field's entered flag and its protocol's look-up flag.
struct FieldSlot {
  const char* text;
  DWORD* entered;
  DWORD* lookupDone;
  BOOL (*set)(PortConfig*, const char*);
};

FieldSlot SlotOf(PortConfig* record, PrinterField field) {
  switch (field) {
  case PrinterField::TcpName:
    return {record->tcpName, &record->tcpNameEntered, &record->tcpLookupDone, SetTcpName};
  case PrinterField::TcpAddress:
    return {record->tcpAddress, &record->tcpAddrEntered, &record->tcpLookupDone, SetTcpAddress};
  case PrinterField::VnetName:
    return {record->vnetName, &record->vnetNameEntered, &record->vnetLookupDone, SetVnetName};
  case PrinterField::VnetAddress:
    break;
  }
  return {record->vnetAddress, &record->vnetAddrEntered, &record->vnetLookupDone, SetVnetAddress};
}

}  // namespace

void ShowFieldText(HWND dialog, int id, const char* text) {
  if (!dialog) return;
  SetDlgItemTextA(dialog, id, text);
  SendDlgItemMessageA(dialog, id, EM_SETSEL, 0, -1);
}

void StoreEnteredText(PortConfig* record, DWORD* entered, const char* field, BOOL (*set)(PortConfig*, const char*),
                      const char* text) {
  bool changed = strcmp(text, field) != 0;
  if (*entered == 0) *entered = changed;
  if (*entered == 1) *entered = !IsEmpty(text);
  if (changed) set(record, text);
}

void TakePrinterText(PortConfig* record, PrinterField field, const char* text) {
  FieldSlot slot = SlotOf(record, field);
  if (strcmp(text, slot.text) == 0) return;
  StoreEnteredText(record, slot.entered, slot.text, slot.set, text);
  *slot.lookupDone = 0;
}

void TakePortNameText(PortConfig* record, const char* text) {
  char trimmed[kPortNameSize];
  CopyBounded(trimmed, text, sizeof trimmed);
  trimmed[sizeof trimmed - 1] = '\0';
  TrimSpaces(trimmed);
  StoreEnteredText(record, &record->portNameEntered, record->portName, SetPortName, trimmed);
}

void CopyToSeparator(const char* text, char separator, char* result) {
  size_t length = 0;
  for (size_t i = 0; i < kLookedAt && text[i] && !(separator && text[i] == separator); ++i) {
    if (text[i] != '\\') result[length++] = text[i];
  }
  result[length] = '\0';
}

void StripHashes(const char* text, char* result) {
  size_t length = 0;
  for (size_t i = 0; i < kLookedAt && text[i]; ++i) {
    if (text[i] != '#') result[length++] = text[i];
  }
  result[length] = '\0';
}

void DeriveVnetName(const char* text, char* result) {
  size_t length = 0;
  while (length < 7 && text[length] && IsCharAlphaNumericA(text[length])) {
    result[length] = text[length];
    ++length;
  }
  result[length] = '\0';
  if (!CheckVnetName(result, nullptr)) result[0] = '\0';
}

void TrimSpaces(char* text) {
  size_t length = strlen(text);
  while (length && text[length - 1] == ' ') text[--length] = '\0';
  size_t start = 0;
  while (text[start] == ' ') ++start;
  memmove(text, text + start, length - start + 1);
}

void ProposePortName(PortConfig* record, HWND dialog, const char* text, char separator) {
  if (record->portNameEntered || IsEmpty(text)) return;
  char proposal[kDerivedSize];
  CopyToSeparator(text, separator, proposal);
  SetPortName(record, proposal);
  record->portNameFilled = !IsEmpty(record->portName);
  ShowFieldText(dialog, IDC_PORT_NAME_EDIT, record->portName);
}

void LookUpTcpAddress(PortConfig* record, HWND dialog) {
  if (IsEmpty(record->tcpName) || record->tcpLookupDone) return;
  char address[kTcpAddressSize];
  {
    WaitCursor wait;
    TcpNameToAddress(record->tcpName, address, sizeof address);
  }
  if (IsEmpty(address)) return;  // tried again at the next completion
  SetTcpAddress(record, address);
  record->tcpLookupDone = 1;
  ShowFieldText(dialog, IDC_PORT_TCP_ADDRESS, record->tcpAddress);
}

void LookUpTcpName(PortConfig* record, HWND dialog) {
  char name[kTcpNameSize];
  {
    WaitCursor wait;
    TcpAddressToName(record->tcpAddress, name, sizeof name);
  }
  if (!IsEmpty(name)) {
    SetTcpName(record, name);
  } else if (!IsEmpty(record->vnetName) || !IsEmpty(record->portName)) {
    char derived[kDerivedSize];
    StripHashes(FallbackSource(record->vnetName, record->portName), derived);
    SetTcpName(record, derived);
  }
  record->tcpLookupDone = !IsEmpty(record->tcpAddress);
  record->tcpNameFilled = 1;
  ShowFieldText(dialog, IDC_PORT_TCP_NAME, record->tcpName);
}

void LookUpVnetAddress(PortConfig* record, HWND dialog) {
  if (IsEmpty(record->vnetName) || record->vnetLookupDone) return;
  char address[kVnetAddressSize];
  {
    WaitCursor wait;
    VnetNameToAddress(record->vnetName, address, sizeof address);
  }
  if (IsEmpty(address)) return;
  SetVnetAddress(record, address);
  record->vnetLookupDone = 1;
  ShowFieldText(dialog, IDC_PORT_VNET_ADDRESS, record->vnetAddress);
}

void LookUpVnetName(PortConfig* record, HWND dialog) {
  char name[kVnetNameSize];
  {
    WaitCursor wait;
    VnetAddressToName(record->vnetAddress, name, sizeof name);
  }
  if (!IsEmpty(name)) {
    SetVnetName(record, name);
  } else if (!IsEmpty(record->tcpName) || !IsEmpty(record->portName)) {
    char derived[kDerivedSize];
    DeriveVnetName(FallbackSource(record->tcpName, record->portName), derived);
    SetVnetName(record, derived);
  }
  record->vnetLookupDone = !IsEmpty(record->vnetAddress);
  record->vnetNameFilled = 1;
  ShowFieldText(dialog, IDC_PORT_VNET_NAME, record->vnetName);
}

void CompleteTcp(PortConfig* record, HWND dialog) {
  if (!record->tcpAddrEntered) LookUpTcpAddress(record, dialog);
  if (!record->tcpNameEntered) LookUpTcpName(record, dialog);
  if (!IsEmpty(record->tcpName)) {
    ProposePortName(record, dialog, record->tcpName, '.');  // the host part of a dotted name
  } else {
    ProposePortName(record, dialog, record->tcpAddress, 0);
  }
}

void CompleteVnet(PortConfig* record, HWND dialog) {
  if (!record->vnetAddrEntered) LookUpVnetAddress(record, dialog);
  if (!record->vnetNameEntered) LookUpVnetName(record, dialog);
  ProposePortName(record, dialog, !IsEmpty(record->vnetName) ? record->vnetName : record->vnetAddress, 0);
}

void CompleteFields(PortConfig* record, HWND dialog) {
  if (IsTcpSelected(record)) CompleteTcp(record, dialog);
  if (IsVnetSelected(record)) CompleteVnet(record, dialog);

  // Names are derived only once the port has a name, typed or proposed.
  if (!record->portNameEntered && !record->portNameFilled) {
    record->portNameFilled = !IsEmpty(record->portName);
    if (record->portNameFilled) CompleteFields(record, dialog);
    return;
  }

  if (IsTcpSelected(record) && !record->tcpNameEntered && !record->tcpAddrEntered) {
    if (!record->tcpNameFilled) {
      char derived[kDerivedSize];
      StripHashes(FallbackSource(record->vnetName, record->portName), derived);
      SetTcpName(record, derived);
      record->tcpNameFilled = !IsEmpty(record->tcpName);
      ShowFieldText(dialog, IDC_PORT_TCP_NAME, record->tcpName);
    }
    CompleteTcp(record, dialog);
    return;
  }

  if (IsVnetSelected(record) && !record->vnetNameEntered && !record->vnetAddrEntered) {
    if (!record->vnetNameFilled) {
      char derived[kDerivedSize];
      DeriveVnetName(FallbackSource(record->tcpName, record->portName), derived);
      SetVnetName(record, derived);
      record->vnetNameFilled = !IsEmpty(record->vnetName);
      ShowFieldText(dialog, IDC_PORT_VNET_NAME, record->vnetName);
    }
    CompleteVnet(record, dialog);
  }
}

void SwitchProtocol(PortConfig* record, HWND dialog, bool tcp) {
  tcp ? SelectTcp(record) : SelectVnet(record);
  CompleteFields(record, dialog);

  char derived[kDerivedSize];
  if (tcp && IsEmpty(record->tcpName) && !IsEmpty(record->vnetName)) {
    StripHashes(record->vnetName, derived);
    SetTcpName(record, derived);
    record->tcpNameFilled = !IsEmpty(record->tcpName);
    CompleteFields(record, dialog);
  } else if (!tcp && IsEmpty(record->vnetName) && !IsEmpty(record->tcpName)) {
    DeriveVnetName(record->tcpName, derived);
    SetVnetName(record, derived);
    record->vnetNameFilled = !IsEmpty(record->vnetName);
    CompleteFields(record, dialog);
  }
}
