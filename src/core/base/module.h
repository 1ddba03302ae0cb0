// The module instance from which every string, dialog, icon and bitmap is loaded.
#pragma once

#include <windows.h>

// The program's own module unless start-up or a library entry sets another.
extern HINSTANCE ModuleInstance;
