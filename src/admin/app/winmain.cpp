// The process entry of the Ports window program. The command line is not read.
#include <windows.h>

#include "app/startup.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int showState) {
  if (HandOverToRunningCopy()) return 0;
  if (!StatusSucceeded(RegisterPortsClass(instance))) return 0;
  if (!StatusSucceeded(CreatePortsWindow(instance, commandLine, showState))) return 0;
  return RunMessageLoop();
}
