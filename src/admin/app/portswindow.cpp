#include "app/portswindow.h"

#include <shlwapi.h>
#include <winspool.h>

#include "app/portops.h"
#include "base/memory.h"
#include "base/messages.h"
#include "base/scoped.h"
#include "model/portentry.h"
#include "model/portlist.h"
#include "model/store.h"
#include "resource.h"
#include "trace/extent.h"

namespace {

// One Ports window per process.
bool firstPaintPending = false;
bool extentTracking = false;

HWND PortList(HWND window) {
  return GetDlgItem(window, IDC_PORTS_LIST);
}

void EnableSelectionButtons(HWND window) {
  bool selected = SendMessageA(PortList(window), LB_GETCURSEL, 0, 0) != LB_ERR;
  EnableWindow(GetDlgItem(window, IDC_PORTS_MODIFY), selected);
  EnableWindow(GetDlgItem(window, IDC_PORTS_DELETE), selected);
}

// Holds the list box's drawing off while it lives; drawn afresh at the end. A shown list box
// otherwise redraws its scroll bar at every item added, which made a refill of thousands of ports
// take seconds.
class ListDrawingPaused {
public:
  explicit ListDrawingPaused(HWND list) : list_(list) { SendMessageA(list_, WM_SETREDRAW, FALSE, 0); }
  ~ListDrawingPaused() {
    SendMessageA(list_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list_, nullptr, TRUE);
  }
  ListDrawingPaused(const ListDrawingPaused&) = delete;
  ListDrawingPaused& operator=(const ListDrawingPaused&) = delete;

private:
  HWND list_;
};

// Tells the user that an operation failed, and why, with the system's text for its error code.
void ReportFailure(HWND window, BOOL succeeded, const char* what) {
  if (succeeded) return;
  char reason[300];
  FormatSystemError(GetLastError(), reason, sizeof reason);
  char text[400];
  wnsprintfA(text, sizeof text, "%s\n\n%s", what, reason);
  ShowMessageBox(window, text, kMonitorName, MB_ICONSTOP | MB_OK);
}

// Runs Modify or Delete on the selected port, its name copied into a block of its own. Answers
// the operation's result; TRUE when nothing was run.
BOOL RunOnSelectedPort(HWND window, BOOL (*operation)(const char*, HWND, const char*)) {
  HWND list = PortList(window);
  LRESULT index = SendMessageA(list, LB_GETCURSEL, 0, 0);
  if (index == LB_ERR) return TRUE;
  LRESULT length = SendMessageA(list, LB_GETTEXTLEN, index, 0);
  if (length == LB_ERR) return TRUE;
  HLOCAL block = LocalAlloc(LMEM_MOVEABLE, static_cast<SIZE_T>(length) + 1);
  if (!block) return TRUE;
  BOOL result = TRUE;
  DWORD error = ERROR_SUCCESS;
  {
    ScopedLocalLock name(block);
    if (name) {
      SendMessageA(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(name.get()));
      result = operation(nullptr, window, static_cast<const char*>(name.get()));
      error = GetLastError();
    }
  }
  LocalFree(block);
  SetLastError(error);  // releasing the block clears it
  return result;
}

void OnCommand(HWND window, int id) {
  switch (id) {
  case IDC_PORTS_LIST:
    if (GetKeyState(VK_SHIFT) < 0) SendMessageA(PortList(window), LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    EnableSelectionButtons(window);
    break;
  case IDC_PORTS_NEW:
    ReportFailure(window, MonitorAddPort(nullptr, window, kMonitorName), "The port could not be added.");
    RefreshPortsList(window);
    break;
  case IDC_PORTS_MODIFY:
    ReportFailure(window, RunOnSelectedPort(window, MonitorConfigurePort), "The port's settings could not be saved.");
    RefreshPortsList(window);
    break;
  case IDC_PORTS_DELETE:
    ReportFailure(window, RunOnSelectedPort(window, MonitorDeletePort), "The port could not be deleted.");
    RefreshPortsList(window);
    break;
  case IDC_PORTS_CLOSE:
    DestroyWindow(window);
    break;
  }
}

}  // namespace

Status RefreshPortsList(HWND window) {
  HWND list = PortList(window);
  ListDrawingPaused paused(list);
  SendMessageA(list, LB_RESETCONTENT, 0, 0);
  if (extentTracking) ResetExtentTracker(list);

  // The print subsystem's copy reloads when it enumerates with the flag raised; its answer,
  // which covers every monitor's ports, is not shown.
  StoreSetUpdate(MonitorKeyPath);
  DWORD needed = 0;
  DWORD returned = 0;
  EnumPortsA(nullptr, 1, nullptr, 0, &needed, &returned);

  // This copy reloads through the flag too; a user who may not raise it reloads it directly.
  if (!StoreSetUpdate(MonitorKeyPath)) ReloadPortList();
  needed = 0;
  MonitorEnumPorts(nullptr, 1, nullptr, 0, &needed, &returned);
  BYTE* buffer = nullptr;
  Status status = MemAllocate(needed, &buffer);
  if (status != EXC_S_SUCCESS) return status;
  returned = 0;
  if (MonitorEnumPorts(nullptr, 1, buffer, needed, &needed, &returned)) {
    auto* ports = reinterpret_cast<const PORT_INFO_1A*>(buffer);
    for (DWORD i = 0; i < returned; ++i) {
      if (extentTracking) TrackAddString(list, ports[i].pName);
      SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ports[i].pName));
    }
  }
  MemFree(&buffer);
  EnableSelectionButtons(window);
  return EXC_S_SUCCESS;
}

LRESULT CALLBACK PortsWindowProc(HWND window, UINT message, WPARAM wp, LPARAM lp) {
  switch (message) {
  case WM_CREATE:
    firstPaintPending = true;
    extentTracking = true;
    return 0;
  case WM_PAINT:
    if (firstPaintPending) {
      firstPaintPending = false;
      if (!AttachExtentTracker(PortList(window))) extentTracking = false;
      RefreshPortsList(window);
    }
    break;
  case WM_COMMAND:
    OnCommand(window, LOWORD(wp));
    break;
  case WM_DESTROY:
    if (extentTracking) DetachExtentTracker(PortList(window));
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wp, lp);
}
