// The logging options dialog (200): the monitor's global log level, trace file and Bubble
// window, edited in a port's working record.
#pragma once

#include <windows.h>

#include "model/portconfig.h"

// Runs the dialog modally over `owner` on the record; answers 1 for OK and Cancel alike.
INT_PTR RunLoggingOptionsDialog(HWND owner, PortConfig* record);

INT_PTR CALLBACK LoggingOptionsProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp);
