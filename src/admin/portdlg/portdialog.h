// The port configuration dialog (100): protocol, printer name and address and, when a port is
// added, its name. It edits the caller's working record directly, completes the printer fields
// while the user types, and checks every field on OK.
#pragma once

#include <windows.h>

#include "model/portconfig.h"

INT_PTR RunAddPortDialog(PortConfig* record);
INT_PTR RunConfigurePortDialog(PortConfig* record);
