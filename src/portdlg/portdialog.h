// The port configuration dialog (100): protocol, printer name and address and, when a port is
// added, its name. It edits the caller's working record directly, completes the printer fields
// while the user types, and checks every field on OK.
#pragma once

#include <windows.h>

#include "model/portconfig.h"

// Sets addMode, starts the sockets library, runs the dialog modally (owned by ownerWindow,
// loaded from instance), stops the sockets library. Answers 1 for OK, 0 for Cancel and -1 when
// the dialog cannot be created.
INT_PTR RunPortDialog(PortConfig* record, DWORD addMode);
INT_PTR RunAddPortDialog(PortConfig* record);
INT_PTR RunConfigurePortDialog(PortConfig* record);

INT_PTR CALLBACK PortDialogProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp);

// True when the selected protocol's fields and the port name pass their rules; the port name is
// checked against the existing ports only when it differs from the name the dialog opened with.
bool IsDialogInputValid(const PortConfig* record);

// Formats the dialog's title template with string `id` of the record's instance (or `fallback`).
void SetDialogTitle(HWND dialog, HINSTANCE instance, UINT id, const char* fallback);
