// The printer options dialog (700): banner page, trays and data type of one port, edited in the
// port's working record; opens the logging options and, with Shift, the brag box.
#pragma once

#include <windows.h>

#include "model/portconfig.h"

// Runs the dialog modally over `owner` on the record; answers 1 for OK and Cancel alike.
INT_PTR RunPrinterOptionsDialog(HWND owner, PortConfig* record);

INT_PTR CALLBACK PrinterOptionsProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp);
