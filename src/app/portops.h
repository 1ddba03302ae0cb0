// The monitor's port-management operations, run from the Ports window: add a port through the
// port dialog, show and change one, delete one. Each answers a boolean; on false the last-error
// code is normalised. The list, the store and the logging options change only after OK.
#pragma once

#include <windows.h>

// The server name is ignored (the local machine is meant), and so is the monitor name.
BOOL MonitorAddPort(const char* serverName, HWND owner, const char* monitorName);
BOOL MonitorConfigurePort(const char* serverName, HWND owner, const char* portName);
// Deletes at once, without asking; the owner window is not used.
BOOL MonitorDeletePort(const char* serverName, HWND owner, const char* portName);
