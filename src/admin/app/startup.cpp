#include "app/startup.h"

#include "app/portswindow.h"
#include "base/memory.h"
#include "base/module.h"
#include "dlgutil/bitmapbutton.h"
#include "model/portlist.h"
#include "names/resolve.h"

HWND PortsWindow = nullptr;

namespace {

void BringForward(HWND window) {
  BringWindowToTop(window);
  if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
}

}  // namespace

bool HandOverToRunningCopy() {
  HWND running = FindWindowA(kPortsClassName, nullptr);
  if (!running) return false;
  HWND popup = GetLastActivePopup(running);
  BringForward(running);
  if (popup && popup != running) BringForward(popup);
  SetForegroundWindow(popup ? popup : running);
  return true;
}

Status RegisterPortsClass(HINSTANCE instance) {
  WNDCLASSA portsClass = {};
  portsClass.style = CS_HREDRAW | CS_VREDRAW;
  portsClass.lpfnWndProc = PortsWindowProc;
  portsClass.cbWndExtra = DLGWINDOWEXTRA;  // the dialog manager's room in a window from a template
  portsClass.hInstance = instance;
  portsClass.hIcon = LoadIconA(instance, "Pressmark");
  portsClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  portsClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  portsClass.lpszClassName = kPortsClassName;
  return RegisterClassA(&portsClass) ? EXC_S_SUCCESS : EXC_E_ERROR;
}

Status CreatePortsWindow(HINSTANCE instance, const char* /*commandLine*/, int showState) {
  ModuleInstance = instance;
  MemInitialize();
  LoadVnetLibrary();
  MonitorInitialize(nullptr);  // the window runs with an empty list when this fails

  PortsWindow = CreateDialogA(instance, "Ports", nullptr, nullptr);
  if (!PortsWindow) return EXC_E_ERROR;
  CenterOnDesktop(PortsWindow);
  ShowWindow(PortsWindow, showState);
  UpdateWindow(PortsWindow);
  return EXC_S_SUCCESS;
}

int RunMessageLoop() {
  MSG message = {};
  for (;;) {
    BOOL got = GetMessageA(&message, nullptr, 0, 0);
    if (got == 0) return static_cast<int>(message.wParam);
    if (got == -1) return 0;  // the thread's queue is gone: end the way a quit with 0 would
    if (PortsWindow && IsDialogMessageA(PortsWindow, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}
