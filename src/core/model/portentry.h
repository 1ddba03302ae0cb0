// The stored form of a port, the monitor's logging options and the widths of their text fields.
#pragma once

#include <windows.h>

// Text field widths in bytes, NUL included.
constexpr DWORD kPortNameSize = 50;
constexpr DWORD kTcpNameSize = 50;
constexpr DWORD kTcpAddressSize = 16;
constexpr DWORD kVnetNameSize = 7;
constexpr DWORD kVnetAddressSize = 8;
constexpr DWORD kTraceFileSize = 250;
constexpr DWORD kLprQueueSize = 64;
constexpr DWORD kSnmpCommunitySize = 64;

// Values of PortEntry::protocol.
constexpr DWORD kProtocolVnet = 1;
constexpr DWORD kProtocolTcp = 2;

constexpr const char kMonitorName[] = "Vantrel Pressmark Printer";
constexpr const char kDefaultMonitorKeyPath[] =
    "System\\CurrentControlSet\\Control\\Print\\Monitors\\Vantrel Pressmark Printer";

// One port: a node of the monitor's port list, always allocated zeroed and whole.
struct PortEntry {
  PortEntry* next;
  char portName[kPortNameSize];
  DWORD protocol;
  char vnetName[kVnetNameSize];
  char vnetAddress[kVnetAddressSize];
  char tcpName[kTcpNameSize];
  char tcpAddress[kTcpAddressSize];
  DWORD banner;
  DWORD setBannerTray;
  DWORD bannerTrayNumber;
  DWORD setOutputTray;
  DWORD outputTrayNumber;
  DWORD setInputTray;
  DWORD inputTrayNumber;
  DWORD pressmarkPrinter;
  DWORD vtllaserPrinter;
  // Optional values that the dialogs neither show nor change: the printer's TCP port (0: 9100 raw, 515 LPR),
  // the LPR queue (empty: raw delivery) and how long a job waits on a printer that takes nothing
  // (seconds; 0: the monitor's default).
  DWORD tcpPortNumber;
  char lprQueue[kLprQueueSize];
  DWORD sendTimeout;
  // Whether and how the printer is asked its state over SNMP: on unless "SNMP Status" is False; the
  // community (empty: "public"), the printer's index in the device table and the agent's UDP port.
  DWORD snmpStatus;
  char snmpCommunity[kSnmpCommunitySize];
  DWORD snmpDeviceIndex;
  DWORD snmpPortNumber;
};

// The monitor's global logging options.
struct LogOptions {
  DWORD loggingLevel;
  DWORD trace;
  char traceFile[kTraceFileSize];
  DWORD bubble;
};
