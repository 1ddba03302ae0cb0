#include "base/module.h"

HINSTANCE ModuleInstance = GetModuleHandleA(nullptr);
