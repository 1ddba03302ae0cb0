// The monitor's port-management operations, run from the Ports window: add a port through the
// port dialog, show and change one, delete one. Each answers a boolean; on false the last-error
// code is normalised. The list, the store and the logging options change only after OK.
#pragma once

#include <windows.h>

// The server name is ignored (the local machine is meant), and so is the monitor name.
BOOL MonitorAddPort(const char* serverName, HWND owner, const char* monitorName);
// Works on a copy of the port; a port not in the list, when the dialog opens or when OK finds it
// again by name, is reported (EVT_PORT_NOT_FOUND) and fails with ERROR_UNKNOWN_PORT, writing nothing.
BOOL MonitorConfigurePort(const char* serverName, HWND owner, const char* portName);
// Deletes at once, without asking; the owner window is not used. The key goes first and the node
// only once it is gone; a port not in the list fails with ERROR_UNKNOWN_PORT.
BOOL MonitorDeletePort(const char* serverName, HWND owner, const char* portName);
