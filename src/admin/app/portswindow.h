// The Ports window, the program's main window: the monitor's ports in a list, and New, Modify,
// Delete and Close. After every command the list is filled afresh from the store.
#pragma once

#include <windows.h>

#include "diag/eventlog.h"

constexpr const char kPortsClassName[] = "PressmarkPorts";

// The class's window procedure; what it does not handle goes to DefWindowProc.
LRESULT CALLBACK PortsWindowProc(HWND window, UINT message, WPARAM wp, LPARAM lp);

// Raises the store's "Update" flag so that the print subsystem's copy of the monitor reloads,
// then fills the list from this process's copy, which reloads too. Leaves no item selected.
Status RefreshPortsList(HWND window);
