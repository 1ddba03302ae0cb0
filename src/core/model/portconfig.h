// The working record of one add or configure operation: a port's settings as named attributes,
// copies of the monitor's logging options, and the working state of the dialogs that edit it.
// The operation that creates a record releases it; the dialogs only borrow it. Nothing here
// touches the registry: the conversions move settings to and from a PortEntry and LogOptions.
#pragma once

#include <windows.h>

#include <cstddef>

#include "base/text.h"
#include "model/portentry.h"

struct PortConfig {
  // Attribute fields, in the order of the attribute table. Flags are 0 or 1.
  DWORD allowTcp;          // "Allow TCP/IP"
  DWORD allowVnet;         // "Allow VTLnet"
  DWORD tcpProtocol;       // "TCP/IP Protocol"; at most one of the protocol pair is 1
  DWORD vnetProtocol;      // "VTLnet Protocol"
  DWORD psDataType;        // "PS Data Type", 1 in a new record
  DWORD pclDataType;       // "PCL Data Type"
  DWORD banner;            // "Banner"
  DWORD readOnly;          // "Read Only"
  DWORD setBannerTray;     // "Set Banner Tray"
  DWORD bannerTrayNumber;  // "Banner Tray Number"; meaningful only while setBannerTray is 1
  DWORD setInputTray;      // "Set Input Tray"
  DWORD inputTrayNumber;   // "Input Tray Number"
  DWORD setOutputTray;     // "Set Output Tray"
  DWORD outputTrayNumber;  // "Output Tray Number"
  DWORD loggingLevel;      // "Logging Level"; this and the next three copy LogOptions
  DWORD trace;             // "Trace"
  DWORD bubble;            // "Bubble"
  char portName[kPortNameSize];        // "Port Name"
  char tcpName[kTcpNameSize];          // "TCP/IP Name"
  char tcpAddress[kTcpAddressSize];    // "TCP/IP Address"
  char vnetName[kVnetNameSize];        // "VTLnet Name"
  char vnetAddress[kVnetAddressSize];  // "VTLnet Address", area.node
  char traceFile[kTraceFileSize];      // "Trace File"

  // Working fields of the dialogs; they have no attribute name.
  HINSTANCE instance;  // where the dialogs load templates, strings and help from
  HWND ownerWindow;    // owner of the port configuration dialog
  DWORD addMode;       // 1 while adding a port, 0 while configuring one
  char oldPortName[kPortNameSize];  // the port name as it stood when the dialog opened
  // The user typed a non-empty value into that field.
  DWORD portNameEntered;
  DWORD tcpNameEntered;
  DWORD tcpAddrEntered;
  DWORD vnetNameEntered;
  DWORD vnetAddrEntered;
  // The dialog filled that field in itself.
  DWORD portNameFilled;
  DWORD tcpNameFilled;
  DWORD vnetNameFilled;
  // The protocol's name and address texts have been resolved one from the other.
  DWORD tcpLookupDone;
  DWORD vnetLookupDone;
  // The notice that the protocol is not available has been shown.
  DWORD tcpWarned;
  DWORD vnetWarned;
  DWORD helpUsed;  // a dialog opened the help file; the port dialog closes it when it ends
  DWORD busy;      // the port dialog is handling a command; nested calls return at once
};

// Record life. A new record is zero-filled except psDataType and the three tray numbers (1) and
// the two handles; null when memory is exhausted. Destroying answers null, the caller's new value.
PortConfig* CreatePortConfig(HINSTANCE instance, HWND ownerWindow);
PortConfig* DestroyPortConfig(PortConfig* record);
BOOL AllowAllProtocols(PortConfig* record);

// Named attributes. Names match exactly, case included; an unknown name answers FALSE and
// changes nothing. Flags and numbers are 4 bytes wide, texts as wide as their field.
BOOL FindPortAttribute(PortConfig* record, const char* name, BYTE** field, DWORD* width, BOOL* isText);

// Texts are cut to the field's width - 1 characters; flags and numbers take 4 bytes from value.
BOOL SetPortAttribute(PortConfig* record, const char* name, const void* value);

// Copies at most `size` bytes into destination: a text up to its NUL, which is not added when it
// does not fit (pass the field's width), a flag or number its first min(4, size) bytes. length,
// when given, receives the text's length in characters, or 4. `reserved` is not used.
BOOL GetPortAttribute(const PortConfig* record, const char* name, void* reserved, DWORD size, void* destination,
                      DWORD* length);

BOOL SelectTcp(PortConfig* record);   // and deselects VTLnet
BOOL SelectVnet(PortConfig* record);  // and deselects TCP/IP
BOOL SetBanner(PortConfig* record, DWORD banner);
BOOL SetPortName(PortConfig* record, const char* text);
BOOL SetTcpName(PortConfig* record, const char* text);
BOOL SetTcpAddress(PortConfig* record, const char* text);
BOOL SetVnetName(PortConfig* record, const char* text);
BOOL SetVnetAddress(PortConfig* record, const char* text);

DWORD IsTcpAllowed(const PortConfig* record);
DWORD IsVnetAllowed(const PortConfig* record);
DWORD IsTcpSelected(const PortConfig* record);
DWORD IsVnetSelected(const PortConfig* record);

// Conversions; each answers TRUE.
// Entry to record: the stored protocol selects one (neither for another value), empty texts
// leave the record's, and a tray number is taken only while its tray flag is set.
BOOL PortEntryToConfig(PortConfig* record, const PortEntry* entry);
// Record to entry: TCP/IP wins when both protocols are selected and the entry keeps its protocol
// when neither is; every text is copied, empty ones too; a tray number only while its flag is set.
BOOL PortConfigToEntry(const PortConfig* record, PortEntry* entry);
BOOL LogOptionsToConfig(PortConfig* record, const LogOptions* options);
BOOL ConfigToLogOptions(const PortConfig* record, LogOptions* options);
