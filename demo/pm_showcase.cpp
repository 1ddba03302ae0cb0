// Shows one scene of the program's windows for a screenshot, then waits until its standard input
// ends. Once the scene is drawn it prints "ready LEFT TOP RIGHT BOTTOM", the screen rectangle that
// holds the scene, so that the caller knows what to capture. Each line on its standard input has
// the scene activated and drawn again, and "ready" printed again: a display without a window
// manager may hand the focus around for a moment after a window first shows.
//
// Usage: pm_showcase ports                      the Ports window with a few ports, one selected
//        pm_showcase add-port                   the Add Port dialog, a TCP/IP printer filled in
//        pm_showcase configure-port             the Configure Port dialog of a TCP/IP port
//        pm_showcase printer-options            the printer options of a port
//        pm_showcase printer-options-expanded   the same with the tray number hints shown
//        pm_showcase logging-options            the logging options
//        pm_showcase about                      the About box
//        pm_showcase brag                       the brag box
//        pm_showcase bubble                     the Bubble trace window with a few lines
//        pm_showcase help CONTEXT               the help viewer at a topic
//        pm_showcase pictures                   the bitmaps and icons on one sheet
//
// The dialogs run modally, as in the program: a hook notices when the scene's dialog is shown,
// stages it (fills fields, presses a button) and announces it from inside its modal loop. The
// Ports window lists the ports of a monitor key of the scene's own, removed when the scene ends.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/portswindow.h"
#include "app/startup.h"
#include "base/module.h"
#include "dlgutil/bitmapbutton.h"
#include "dlgutil/help.h"
#include "model/portconfig.h"
#include "model/portlist.h"
#include "options/aboutbox.h"
#include "options/loggingoptions.h"
#include "options/printeroptions.h"
#include "portdlg/portdialog.h"
#include "resource.h"
#include "trace/bubble.h"

namespace {

constexpr char kSheetClass[] = "PressmarkPictureSheet";
constexpr int kMargin = 16;
constexpr int kGap = 10;

void DrawPicture(HDC dc, const char* name, int x, int y) {
  HBITMAP bitmap = LoadBitmapA(ModuleInstance, name);
  if (!bitmap) return;
  BITMAP info = {};
  GetObjectA(bitmap, sizeof info, &info);
  HDC memory = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(dc, x, y, info.bmWidth, info.bmHeight, memory, 0, 0, SRCCOPY);
  SelectObject(memory, old);
  DeleteDC(memory);
  DeleteObject(bitmap);
}

void DrawIconAt(HDC dc, const char* name, int size, int x, int y) {
  HICON icon = static_cast<HICON>(LoadImageA(ModuleInstance, name, IMAGE_ICON, size, size, 0));
  if (!icon) return;
  DrawIconEx(dc, x, y, icon, size, size, 0, nullptr, DI_NORMAL);
  DestroyIcon(icon);
}

int Label(HDC dc, int x, int y, const char* text) {
  TextOutA(dc, x, y, text, static_cast<int>(strlen(text)));
  SIZE size = {};
  GetTextExtentPoint32A(dc, text, static_cast<int>(strlen(text)), &size);
  return size.cy;
}

// The sheet: logo button and accessories banner in their three states, the icons, the brag picture.
void PaintSheet(HDC dc) {
  SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  SetBkMode(dc, TRANSPARENT);
  int x = kMargin;
  int y = kMargin;
  y += Label(dc, x, y, "Logo button: normal, focus, pressed") + 4;
  const char* logo[] = {"VTLBTN", "VTLBTNF", "VTLBTNS"};
  for (int k = 0; k < 3; ++k) DrawPicture(dc, logo[k], x + k * (65 + kGap), y);
  y += 26 + 2 * kGap;
  y += Label(dc, x, y, "Accessories button: normal, focus, pressed") + 4;
  for (const char* name : {"ACCSUP", "ACCSUPF", "ACCSUPS"}) {
    DrawPicture(dc, name, x, y);
    y += 36 + kGap / 2;
  }
  y += 2 * kGap;
  y += Label(dc, x, y, "Icons: Pressmark and bubbleIcon, 32 and 16 pixels") + 4;
  DrawIconAt(dc, "PRESSMARK", 32, x, y);
  DrawIconAt(dc, "PRESSMARK", 16, x + 32 + kGap, y + 16);
  DrawIconAt(dc, "BUBBLEICON", 32, x + 64 + 3 * kGap, y);
  DrawIconAt(dc, "BUBBLEICON", 16, x + 96 + 4 * kGap, y + 16);
  DrawPicture(dc, "BRAG", kMargin + 326 + 2 * kMargin, kMargin);
}

LRESULT CALLBACK SheetProc(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_PAINT) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    PaintSheet(dc);
    EndPaint(window, &paint);
    return 0;
  }
  return DefWindowProcA(window, msg, wp, lp);
}

HWND ShowSheet() {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = SheetProc;
  windowClass.hInstance = ModuleInstance;
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  windowClass.lpszClassName = kSheetClass;
  windowClass.hIcon = LoadIconA(ModuleInstance, "PRESSMARK");
  RegisterClassA(&windowClass);
  RECT frame = {0, 0, kMargin + 326 + 2 * kMargin + 300 + kMargin, kMargin + 400 + kMargin};
  DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  AdjustWindowRect(&frame, style, FALSE);
  HWND window = CreateWindowExA(0, kSheetClass, "Pressmark pictures", style, 0, 0, frame.right - frame.left,
                                frame.bottom - frame.top, nullptr, nullptr, ModuleInstance, nullptr);
  if (!window) return nullptr;
  CenterOnDesktop(window);
  ShowWindow(window, SW_SHOWNORMAL);
  return window;
}

// ---- announcing a scene

HWND announced = nullptr;  // the scene, once shown

// Draws the scene at once, active as if the user had just clicked it, and tells the caller where
// it lies on the screen. The scene is activated afresh, so that its caption is drawn active even
// when it was shown before it became the foreground window.
void Announce(HWND scene) {
  announced = scene;
  SetForegroundWindow(GetDesktopWindow());
  SetForegroundWindow(scene);
  RedrawWindow(scene, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  RECT rect;
  GetWindowRect(scene, &rect);
  printf("ready %ld %ld %ld %ld\n", rect.left, rect.top, rect.right, rect.bottom);
  fflush(stdout);
}

// ---- modal dialogs

constexpr UINT kShownMessage = WM_APP + 0x51;
constexpr UINT kAgainMessage = WM_APP + 0x52;  // posted to the main thread for each input line

using Stage = void (*)(HWND dialog);
Stage stage = nullptr;  // what the scene does once its dialog is shown
HHOOK cbtHook = nullptr;
HHOOK messageHook = nullptr;

bool IsDialogWindow(HWND window) {
  char className[16] = {};
  GetClassNameA(window, className, sizeof className);
  return strcmp(className, "#32770") == 0;
}

// The first dialog activated is the scene's; it is staged once the activation is complete.
LRESULT CALLBACK OnCbt(int code, WPARAM wp, LPARAM lp) {
  HWND window = reinterpret_cast<HWND>(wp);
  if (code == HCBT_ACTIVATE && stage && IsDialogWindow(window)) {
    PostThreadMessageA(GetCurrentThreadId(), kShownMessage, wp, 0);
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}

LRESULT CALLBACK OnGetMessage(int code, WPARAM removal, LPARAM lp) {
  auto* msg = reinterpret_cast<MSG*>(lp);
  if (code == HC_ACTION && removal == PM_REMOVE && !msg->hwnd && msg->message == kAgainMessage) {
    msg->message = WM_NULL;
    if (announced) Announce(announced);
  }
  if (code == HC_ACTION && removal == PM_REMOVE && !msg->hwnd && msg->message == kShownMessage) {
    msg->message = WM_NULL;
    if (Stage run = stage) {
      stage = nullptr;
      run(reinterpret_cast<HWND>(msg->wParam));
    }
  }
  return CallNextHookEx(nullptr, code, removal, lp);
}

// Runs a modal dialog through `open`, staged by `onShown`; the scene ends the process.
int RunModalScene(Stage onShown, INT_PTR (*open)(PortConfig* record), PortConfig* record) {
  stage = onShown;
  cbtHook = SetWindowsHookExA(WH_CBT, OnCbt, nullptr, GetCurrentThreadId());
  messageHook = SetWindowsHookExA(WH_GETMESSAGE, OnGetMessage, nullptr, GetCurrentThreadId());
  open(record);
  fprintf(stderr, "pm_showcase: the dialog ended before the scene did\n");
  return 1;
}

// A working record as the add and configure operations prepare it.
PortConfig* NewRecord() {
  PortConfig* record = CreatePortConfig(ModuleInstance, nullptr);
  if (!record) return nullptr;
  AllowAllProtocols(record);
  LogOptions options = {};
  options.loggingLevel = 1;
  LogOptionsToConfig(record, &options);
  return record;
}

// A port as the store holds it: a TCP/IP printer with a banner page from tray 2.
PortEntry ShowcasePort() {
  PortEntry entry = {};
  lstrcpynA(entry.portName, "design", sizeof entry.portName);
  entry.protocol = kProtocolTcp;
  lstrcpynA(entry.tcpName, "design.example.com", sizeof entry.tcpName);
  lstrcpynA(entry.tcpAddress, "10.20.30.17", sizeof entry.tcpAddress);
  entry.banner = 1;
  entry.setBannerTray = 1;
  entry.bannerTrayNumber = 2;
  entry.pressmarkPrinter = 1;
  return entry;
}

void StageAddPort(HWND dialog) {
  SetDlgItemTextA(dialog, IDC_PORT_TCP_NAME, "floor2.example.com");
  SetDlgItemTextA(dialog, IDC_PORT_TCP_ADDRESS, "10.20.30.42");
  SetDlgItemTextA(dialog, IDC_PORT_NAME_EDIT, "floor2");
  Announce(dialog);
}

// The About box as the port dialog opens it, placed over that dialog.
void StageAbout(HWND dialog) {
  stage = Announce;
  PostMessageA(GetDlgItem(dialog, IDC_PORT_ABOUT), BM_CLICK, 0, 0);
}

void StageExpandedOptions(HWND dialog) {
  SendDlgItemMessageA(dialog, IDC_OPT_HINTS, BM_CLICK, 0, 0);
  Announce(dialog);
}

INT_PTR OpenPrinterOptions(PortConfig* record) {
  return RunPrinterOptionsDialog(nullptr, record);
}
INT_PTR OpenLoggingOptions(PortConfig* record) {
  return RunLoggingOptionsDialog(nullptr, record);
}
INT_PTR OpenBrag(PortConfig* record) {
  return RunBragBox(nullptr, record);
}

int ShowDialogScene(const char* name) {
  PortConfig* record = NewRecord();
  if (!record) return 1;
  PortEntry port = ShowcasePort();
  if (strcmp(name, "add-port") == 0) return RunModalScene(StageAddPort, RunAddPortDialog, record);
  PortEntryToConfig(record, &port);
  if (strcmp(name, "configure-port") == 0) return RunModalScene(Announce, RunConfigurePortDialog, record);
  if (strcmp(name, "printer-options") == 0) return RunModalScene(Announce, OpenPrinterOptions, record);
  if (strcmp(name, "printer-options-expanded") == 0) {
    return RunModalScene(StageExpandedOptions, OpenPrinterOptions, record);
  }
  if (strcmp(name, "logging-options") == 0) {
    DWORD trace = 1;
    SetPortAttribute(record, "Trace", &trace);
    SetPortAttribute(record, "Trace File", "C:\\Pressmark\\trace.log");
    return RunModalScene(Announce, OpenLoggingOptions, record);
  }
  if (strcmp(name, "about") == 0) return RunModalScene(StageAbout, RunAddPortDialog, record);
  if (strcmp(name, "brag") == 0) return RunModalScene(Announce, OpenBrag, record);
  return -1;
}

// ---- the Ports window

constexpr char kShowcaseMonitorKey[] = "System\\PressmarkShowcase\\Vantrel Pressmark Printer";

void RemoveShowcaseMonitor() {
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, kShowcaseMonitorKey);
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, "System\\PressmarkShowcase");
}

bool PlantShowcasePorts() {
  static const char* const kPorts[][2] = {
      {"accounts", "accounts.example.com"}, {"design", "design.example.com"},
      {"floor2", "floor2.example.com"},     {"reception", "reception.example.com"},
      {"warehouse-dock", "warehouse-dock.example.com"},
  };
  RemoveShowcaseMonitor();
  for (const auto& port : kPorts) {
    std::string key = std::string(kShowcaseMonitorKey) + "\\Ports\\" + port[0];
    DWORD protocol = kProtocolTcp;
    if (RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), "Protocol", REG_DWORD, &protocol, sizeof protocol) ||
        RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), "TCP/IP Name", REG_SZ, port[1],
                        static_cast<DWORD>(strlen(port[1]) + 1))) {
      return false;
    }
  }
  return true;
}

// The Ports window as start-up makes it, with the second port selected as a click leaves it.
HWND ShowPortsWindow() {
  if (!PlantShowcasePorts() || !MonitorInitialize(kShowcaseMonitorKey)) return nullptr;
  if (!StatusSucceeded(RegisterPortsClass(ModuleInstance))) return nullptr;
  HWND window = CreateDialogA(ModuleInstance, "Ports", nullptr, nullptr);
  if (!window) return nullptr;
  CenterOnDesktop(window);
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);
  HWND list = GetDlgItem(window, IDC_PORTS_LIST);
  SendMessageA(list, LB_SETCURSEL, 1, 0);
  SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_PORTS_LIST, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
  SetFocus(list);
  return window;
}

// ---- Bubble

BubbleChannel* bubbleChannel = nullptr;

HWND ShowBubble() {
  bubbleChannel = BubbleOpen(ModuleInstance, nullptr, TRUE, "Pressmark trace");
  if (!bubbleChannel || !bubbleChannel->window) return nullptr;
  CenterOnDesktop(bubbleChannel->window);  // the system leaves it in the corner
  BubblePrintf(bubbleChannel, "MonitorInitialize: key %s", "System\\CurrentControlSet\\Control\\Print\\Monitors\\...");
  BubblePrintf(bubbleChannel, "StoreReadPorts: %d ports loaded", 5);
  BubblePrintf(bubbleChannel, "MonitorOpenPort(\"%s\")", "design");
  BubblePrintf(bubbleChannel, "StartDocPort: job %d\tprinter %s", 42, "Design Studio");
  BubblePrintf(bubbleChannel, "WritePort: %d bytes", 18432);
  BubblePrintf(bubbleChannel, "EndDocPort: job %d done", 42);
  BubblePrintf(bubbleChannel, "MonitorClosePort(\"%s\")", "design");
  return bubbleChannel->window;
}

// ---- running

// Ends the scene when the caller closes the standard input: the scene's own state goes with it.
DWORD WINAPI WaitForInputEnd(LPVOID mainThread) {
  auto threadId = static_cast<DWORD>(reinterpret_cast<UINT_PTR>(mainThread));
  char buffer[64];
  while (fgets(buffer, sizeof buffer, stdin)) PostThreadMessageA(threadId, kAgainMessage, 0, 0);
  RemoveShowcaseMonitor();
  ExitProcess(0);
}

int Usage() {
  fprintf(stderr,
          "usage: pm_showcase ports | add-port | configure-port | printer-options | printer-options-expanded |\n"
          "                   logging-options | about | brag | bubble | help CONTEXT | pictures\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  // The thread id travels through the thread parameter.
  void* mainThread = reinterpret_cast<void*>(static_cast<UINT_PTR>(GetCurrentThreadId()));
  CloseHandle(CreateThread(nullptr, 0, WaitForInputEnd, mainThread, 0, nullptr));

  const char* name = argv[1];
  HWND scene = nullptr;
  if (argc == 3 && strcmp(name, "help") == 0) {
    if (OpenHelpTopic(static_cast<DWORD>(strtoul(argv[2], nullptr, 10))))
      scene = FindWindowA(kHelpWindowClass, nullptr);
  } else if (argc == 2 && strcmp(name, "pictures") == 0) {
    scene = ShowSheet();
  } else if (argc == 2 && strcmp(name, "ports") == 0) {
    scene = ShowPortsWindow();
  } else if (argc == 2 && strcmp(name, "bubble") == 0) {
    scene = ShowBubble();
  } else if (argc == 2) {
    int result = ShowDialogScene(name);
    if (result >= 0) return result;
    return Usage();
  } else {
    return Usage();
  }
  if (!scene) {
    fprintf(stderr, "pm_showcase: the scene could not be shown\n");
    RemoveShowcaseMonitor();
    return 1;
  }
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  Announce(scene);
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (!msg.hwnd && msg.message == kAgainMessage) {
      Announce(scene);
      continue;
    }
    if (IsDialogMessageA(scene, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}
