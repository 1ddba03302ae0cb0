// The one message box in which the port, printer options and logging options dialogs report a
// value that the rules (rules/validate.h) refuse.
#pragma once

#include <windows.h>

// Shows "<message>\n\n<prompt>" under the title "Error Message" with the stop icon and one OK
// button, owned by `dialog`, and returns when it is closed. Texts come from ModuleInstance's
// string table, with built-in texts for ids it does not hold.
void ShowValidationError(HWND dialog, UINT messageId, UINT promptId);

// Shows the error box for a refused field, then puts the keyboard focus on that field, so the
// dialog stays open where the user has to change something.
void RefuseField(HWND dialog, int field, UINT messageId, UINT promptId);
