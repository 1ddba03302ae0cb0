// The port settings record and its named attributes.
#include "model/portconfig.h"

#include <cstring>

#include "base/memory.h"

// Typed accessors. Setters answer TRUE and cut texts like SetPortAttribute; setting an address
// also forgets that protocol's lookup, even when the text is unchanged.
static BOOL SetAllowTcp(PortConfig* record, DWORD allow);
static BOOL SetAllowVnet(PortConfig* record, DWORD allow);
static DWORD GetBanner(const PortConfig* record);
// Copy the text as GetPortAttribute does (limited to size, terminated when it fits) and answer
// the length of the field's text, not of what was copied.
static int GetPortName(const PortConfig* record, char* destination, DWORD size);
static int GetTcpName(const PortConfig* record, char* destination, DWORD size);
static int GetTcpAddress(const PortConfig* record, char* destination, DWORD size);
static int GetVnetName(const PortConfig* record, char* destination, DWORD size);
static int GetVnetAddress(const PortConfig* record, char* destination, DWORD size);

namespace {

struct AttributeSlot {
  const char* name;
  size_t offset;
  DWORD width;
  bool isText;
};

#define NUMBER_SLOT(name, field) {name, offsetof(PortConfig, field), sizeof(DWORD), false}
#define TEXT_SLOT(name, field) {name, offsetof(PortConfig, field), sizeof(PortConfig::field), true}

// The attribute names are the registry value names wherever a setting is stored.
constexpr AttributeSlot kAttributes[] = {
    NUMBER_SLOT("Allow TCP/IP", allowTcp),
    NUMBER_SLOT("Allow VTLnet", allowVnet),
    NUMBER_SLOT("TCP/IP Protocol", tcpProtocol),
    NUMBER_SLOT("VTLnet Protocol", vnetProtocol),
    NUMBER_SLOT("PS Data Type", psDataType),
    NUMBER_SLOT("PCL Data Type", pclDataType),
    NUMBER_SLOT("Banner", banner),
    NUMBER_SLOT("Read Only", readOnly),
    NUMBER_SLOT("Set Banner Tray", setBannerTray),
    NUMBER_SLOT("Banner Tray Number", bannerTrayNumber),
    NUMBER_SLOT("Set Input Tray", setInputTray),
    NUMBER_SLOT("Input Tray Number", inputTrayNumber),
    NUMBER_SLOT("Set Output Tray", setOutputTray),
    NUMBER_SLOT("Output Tray Number", outputTrayNumber),
    NUMBER_SLOT("Logging Level", loggingLevel),
    NUMBER_SLOT("Trace", trace),
    NUMBER_SLOT("Bubble", bubble),
    TEXT_SLOT("Port Name", portName),
    TEXT_SLOT("TCP/IP Name", tcpName),
    TEXT_SLOT("TCP/IP Address", tcpAddress),
    TEXT_SLOT("VTLnet Name", vnetName),
    TEXT_SLOT("VTLnet Address", vnetAddress),
    TEXT_SLOT("Trace File", traceFile),
};

#undef NUMBER_SLOT
#undef TEXT_SLOT

const AttributeSlot* FindSlot(const char* name) {
  if (!name) return nullptr;
  for (const AttributeSlot& slot : kAttributes) {
    if (strcmp(slot.name, name) == 0) return &slot;
  }
  return nullptr;
}

// A field's text length; the record keeps a NUL inside every text field.
int FieldLength(const char* field, size_t width) {
  return static_cast<int>(strnlen(field, width));
}

template <size_t Width>
void SetText(char (&field)[Width], const char* text) {
  CopyBounded(field, text, Width);
  field[Width - 1] = '\0';
}

template <size_t Width>
int GetText(const char (&field)[Width], char* destination, DWORD size) {
  CopyBounded(destination, field, size);
  return FieldLength(field, Width);
}

// Copies one tray's flag and, while the flag is set, its number; the number stays otherwise.
void TrayToConfig(PortConfig* record, const char* flagName, DWORD flag, const char* numberName, DWORD number) {
  SetPortAttribute(record, flagName, &flag);
  if (flag) SetPortAttribute(record, numberName, &number);
}

void TrayToEntry(const PortConfig* record, const char* flagName, DWORD* flag, const char* numberName,
                 DWORD* number) {
  GetPortAttribute(record, flagName, nullptr, sizeof *flag, flag, nullptr);
  if (*flag) GetPortAttribute(record, numberName, nullptr, sizeof *number, number, nullptr);
}

}  // namespace

PortConfig* CreatePortConfig(HINSTANCE instance, HWND ownerWindow) {
  PortConfig* record = nullptr;
  if (MemAllocateZeroed(sizeof *record, &record) != EXC_S_SUCCESS) return nullptr;
  record->psDataType = 1;
  record->bannerTrayNumber = 1;
  record->inputTrayNumber = 1;
  record->outputTrayNumber = 1;
  record->instance = instance;
  record->ownerWindow = ownerWindow;
  return record;
}

PortConfig* DestroyPortConfig(PortConfig* record) {
  MemFree(&record);
  return nullptr;
}

BOOL AllowAllProtocols(PortConfig* record) {
  SetAllowTcp(record, 1);
  SetAllowVnet(record, 1);
  return TRUE;
}

BOOL FindPortAttribute(PortConfig* record, const char* name, BYTE** field, DWORD* width, BOOL* isText) {
  const AttributeSlot* slot = FindSlot(name);
  if (!slot) return FALSE;
  *field = reinterpret_cast<BYTE*>(record) + slot->offset;
  *width = slot->width;
  *isText = slot->isText ? TRUE : FALSE;
  return TRUE;
}

BOOL SetPortAttribute(PortConfig* record, const char* name, const void* value) {
  const AttributeSlot* slot = FindSlot(name);
  if (!slot) return FALSE;
  BYTE* field = reinterpret_cast<BYTE*>(record) + slot->offset;
  if (slot->isText) {
    CopyBounded(reinterpret_cast<char*>(field), static_cast<const char*>(value), slot->width);
    field[slot->width - 1] = '\0';
  } else {
    memcpy(field, value, sizeof(DWORD));
  }
  return TRUE;
}

BOOL GetPortAttribute(const PortConfig* record, const char* name, void* /*reserved*/, DWORD size, void* destination,
                      DWORD* length) {
  const AttributeSlot* slot = FindSlot(name);
  if (!slot) return FALSE;
  const BYTE* field = reinterpret_cast<const BYTE*>(record) + slot->offset;
  if (slot->isText) {
    const char* text = reinterpret_cast<const char*>(field);
    CopyBounded(static_cast<char*>(destination), text, size);
    if (length) *length = static_cast<DWORD>(FieldLength(text, slot->width));
  } else {
    memcpy(destination, field, size < sizeof(DWORD) ? size : sizeof(DWORD));
    if (length) *length = sizeof(DWORD);
  }
  return TRUE;
}

BOOL SetAllowTcp(PortConfig* record, DWORD allow) {
  record->allowTcp = allow;
  return TRUE;
}

BOOL SetAllowVnet(PortConfig* record, DWORD allow) {
  record->allowVnet = allow;
  return TRUE;
}

BOOL SelectTcp(PortConfig* record) {
  record->vnetProtocol = 0;
  record->tcpProtocol = 1;
  return TRUE;
}

BOOL SelectVnet(PortConfig* record) {
  record->tcpProtocol = 0;
  record->vnetProtocol = 1;
  return TRUE;
}

BOOL SetBanner(PortConfig* record, DWORD banner) {
  record->banner = banner;
  return TRUE;
}

BOOL SetPortName(PortConfig* record, const char* text) {
  SetText(record->portName, text);
  return TRUE;
}

BOOL SetTcpName(PortConfig* record, const char* text) {
  SetText(record->tcpName, text);
  return TRUE;
}

BOOL SetTcpAddress(PortConfig* record, const char* text) {
  SetText(record->tcpAddress, text);
  record->tcpLookupDone = 0;
  return TRUE;
}

BOOL SetVnetName(PortConfig* record, const char* text) {
  SetText(record->vnetName, text);
  return TRUE;
}

BOOL SetVnetAddress(PortConfig* record, const char* text) {
  SetText(record->vnetAddress, text);
  record->vnetLookupDone = 0;
  return TRUE;
}

DWORD IsTcpAllowed(const PortConfig* record) {
  return record->allowTcp;
}

DWORD IsVnetAllowed(const PortConfig* record) {
  return record->allowVnet;
}

DWORD IsTcpSelected(const PortConfig* record) {
  return record->tcpProtocol;
}

DWORD IsVnetSelected(const PortConfig* record) {
  return record->vnetProtocol;
}

DWORD GetBanner(const PortConfig* record) {
  return record->banner;
}

int GetPortName(const PortConfig* record, char* destination, DWORD size) {
  return GetText(record->portName, destination, size);
}

int GetTcpName(const PortConfig* record, char* destination, DWORD size) {
  return GetText(record->tcpName, destination, size);
}

int GetTcpAddress(const PortConfig* record, char* destination, DWORD size) {
  return GetText(record->tcpAddress, destination, size);
}

int GetVnetName(const PortConfig* record, char* destination, DWORD size) {
  return GetText(record->vnetName, destination, size);
}

int GetVnetAddress(const PortConfig* record, char* destination, DWORD size) {
  return GetText(record->vnetAddress, destination, size);
}

BOOL PortEntryToConfig(PortConfig* record, const PortEntry* entry) {
  if (entry->protocol == kProtocolVnet) SelectVnet(record);
  if (entry->protocol == kProtocolTcp) SelectTcp(record);
  SetBanner(record, entry->banner);

  if (entry->portName[0]) SetPortName(record, entry->portName);
  if (entry->tcpName[0]) SetTcpName(record, entry->tcpName);
  if (entry->tcpAddress[0]) SetTcpAddress(record, entry->tcpAddress);
  if (entry->vnetName[0]) SetVnetName(record, entry->vnetName);
  if (entry->vnetAddress[0]) SetVnetAddress(record, entry->vnetAddress);

  TrayToConfig(record, "Set Banner Tray", entry->setBannerTray, "Banner Tray Number", entry->bannerTrayNumber);
  TrayToConfig(record, "Set Output Tray", entry->setOutputTray, "Output Tray Number", entry->outputTrayNumber);
  TrayToConfig(record, "Set Input Tray", entry->setInputTray, "Input Tray Number", entry->inputTrayNumber);
  return TRUE;
}

BOOL PortConfigToEntry(const PortConfig* record, PortEntry* entry) {
  if (IsVnetSelected(record)) entry->protocol = kProtocolVnet;
  if (IsTcpSelected(record)) entry->protocol = kProtocolTcp;
  entry->banner = GetBanner(record);

  GetPortName(record, entry->portName, sizeof entry->portName);
  GetVnetName(record, entry->vnetName, sizeof entry->vnetName);
  GetVnetAddress(record, entry->vnetAddress, sizeof entry->vnetAddress);
  GetTcpName(record, entry->tcpName, sizeof entry->tcpName);
  GetTcpAddress(record, entry->tcpAddress, sizeof entry->tcpAddress);

  TrayToEntry(record, "Set Banner Tray", &entry->setBannerTray, "Banner Tray Number", &entry->bannerTrayNumber);
  TrayToEntry(record, "Set Output Tray", &entry->setOutputTray, "Output Tray Number", &entry->outputTrayNumber);
  TrayToEntry(record, "Set Input Tray", &entry->setInputTray, "Input Tray Number", &entry->inputTrayNumber);
  return TRUE;
}

BOOL LogOptionsToConfig(PortConfig* record, const LogOptions* options) {
  SetPortAttribute(record, "Logging Level", &options->loggingLevel);
  SetPortAttribute(record, "Trace", &options->trace);
  SetPortAttribute(record, "Trace File", options->traceFile);
  SetPortAttribute(record, "Bubble", &options->bubble);
  return TRUE;
}

BOOL ConfigToLogOptions(const PortConfig* record, LogOptions* options) {
  GetPortAttribute(record, "Logging Level", nullptr, sizeof options->loggingLevel, &options->loggingLevel, nullptr);
  GetPortAttribute(record, "Trace", nullptr, sizeof options->trace, &options->trace, nullptr);
  GetPortAttribute(record, "Trace File", nullptr, sizeof options->traceFile, options->traceFile, nullptr);
  GetPortAttribute(record, "Bubble", nullptr, sizeof options->bubble, &options->bubble, nullptr);
  return TRUE;
}
