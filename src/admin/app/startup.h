// Start-up of the program: one copy at a time, the Ports window on its private class, and the
// message loop.
#pragma once

#include <windows.h>

#include "diag/eventlog.h"

// The Ports window of this process, once created.
extern HWND PortsWindow;

// Hands over to a copy that is already running: brings its Ports window and its last active
// popup to the front, restoring them when minimised. False when no copy runs.
bool HandOverToRunningCopy();

Status RegisterPortsClass(HINSTANCE instance);

// Prepares the monitor (memory, VTLnet library, initialisation under the default key) and creates,
// centres and shows the Ports window, which fills its list at its first paint.
Status CreatePortsWindow(HINSTANCE instance, const char* commandLine, int showState);

// Runs until the quit message; answers its exit value.
int RunMessageLoop();
