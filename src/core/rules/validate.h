// The rules that decide whether a value typed into the port, printer options or logging options
// dialog, or given through the monitor's Xcv commands, may be accepted (dlgutil/refusal shows a
// refusal in the dialogs).
// Every rule answers true when the value is acceptable; when it is not, it stores the string id
// of its message through `messageId` if that is given, and leaves it alone otherwise.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

// Refuses the empty name (1101), a backslash (1102, before any port list is asked for) and a name
// that an existing port has in any case (1103). The existing ports are the local spooler's, plus,
// while the monitor is initialised, the ports stored under MonitorKeyPath, so that a port of ours
// counts even where the spooler has not loaded this monitor. 1104 when there is no memory for the
// spooler's list, 1105 when the spooler cannot give it.
bool CheckPortName(const char* name, UINT* messageId = nullptr);

// The local spooler's port names, asked for once so that many names are checked at one cost.
struct SpoolerPortNames {
  UINT refusal = 0;                 // 1104 or 1105 when the spooler could not give its list
  std::vector<std::string> sorted;  // in lstrcmpiA's order
};
SpoolerPortNames ReadSpoolerPortNames();

// CheckPortName against the spooler's names read beforehand; the store is asked about this one name.
bool CheckPortNameAgainst(const char* name, const SpoolerPortNames& spooler, UINT* messageId = nullptr);

// Digits, ASCII letters, periods and hyphens only (1109); the empty name passes.
bool CheckTcpName(const char* name, UINT* messageId = nullptr);

// Whatever inet_addr reads (1 to 4 parts, octal, hexadecimal) except 255.255.255.255; 1110 when
// empty, 1111 otherwise.
bool CheckTcpAddress(const char* address, UINT* messageId = nullptr);

// Empty, or 1 to 6 ASCII letters and digits with at least one letter (1112).
bool CheckVnetName(const char* name, UINT* messageId = nullptr);

// What the VTLnet library reads as an address, else what ParseVnetAddress accepts; 1113 when
// empty, 1114 otherwise.
bool CheckVnetAddress(const char* address, UINT* messageId = nullptr);

// 0 to 3 (1106).
bool CheckLogLevel(DWORD level, UINT* messageId = nullptr);

// Accepts the trace file name stored for the monitor as it stands, else a file that can be
// opened, or created, for writing and does not lie on a CD-ROM drive. A file the check creates is
// removed again; a file that was there before is never removed. 1107 when empty, 1108 otherwise.
bool CheckTraceFile(const char* path, UINT* messageId = nullptr);

// Tray numbers have no range: every value passes.
bool CheckInputTray(int tray, UINT* messageId = nullptr);
bool CheckOutputTray(int tray, UINT* messageId = nullptr);

// The 8.3 form of the path's file name: the base name cut to 8 characters and the extension to
// a period and 3 (C:\logs\monitortrace.text gives C:\logs\monitort.tex). Answers shortName, or
// null when the path cannot be split or the result does not fit in `size` bytes.
char* MakeShortName(const char* path, char* shortName, size_t size);
