// Refilling the Ports window's list against a plain registry read of the same port keys. The
// refill raises the update flag twice, asks the spooler for its ports, reloads the monitor's list
// from the store, packs it into level-1 records and adds every name to the list box with its width
// tracked; the plain read enumerates the port keys and reads every value of each. The ratio shows
// what the refill costs beyond reading the store, and the per-port columns whether either cost
// grows faster than the number of ports.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "app/portswindow.h"
#include "app/startup.h"
#include "base/module.h"
#include "base/scoped.h"
#include "bench.h"
#include "benchkey.h"
#include "diag/eventlog.h"
#include "model/portentry.h"
#include "model/portlist.h"
#include "resource.h"

namespace {

// Best of several runs; small lists take milliseconds, so they get more runs to steady them.
int Repeats(int ports) {
  return std::max(3, 20000 / ports);
}

void ServeMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message != WM_QUIT) DispatchMessageA(&msg);  // the window's end posts one
  }
}

// The program's own Ports window, shown, so that its first paint attaches the extent tracker and
// fills the list as at start-up; every refill then adds to a list box on the screen.
class ShownPortsWindow {
public:
  ShownPortsWindow() : window_(CreateDialogA(ModuleInstance, "Ports", nullptr, nullptr)) {
    if (!window_) return;
    ShowWindow(window_, SW_SHOWNOACTIVATE);
    UpdateWindow(window_);
    ServeMessages();
  }
  ~ShownPortsWindow() {
    if (window_) DestroyWindow(window_);
    ServeMessages();
  }
  ShownPortsWindow(const ShownPortsWindow&) = delete;
  ShownPortsWindow& operator=(const ShownPortsWindow&) = delete;

  HWND get() const { return window_; }

private:
  HWND window_;
};

void RunPortsBench() {
  BenchMonitorKey monitor;
  if (!monitor || !StatusSucceeded(RegisterPortsClass(ModuleInstance))) {
    printf("  no monitor key or window class could be made\n");
    return;
  }
  BenchPrintHeading("ports", {"refill/read", "read/port", "refill/port"});
  double readBase = 0;
  double refillBase = 0;
  for (int size : BenchSizes()) {
    if (!monitor.GrowTo(size) || !MonitorInitialize(monitor.path())) {
      printf("  %d ports could not be stored\n", size);
      break;
    }
    ShownPortsWindow window;
    HWND list = GetDlgItem(window.get(), IDC_PORTS_LIST);
    if (!window.get() || SendMessageA(list, LB_GETCOUNT, 0, 0) != size) {
      printf("  the Ports window did not list %d ports\n", size);
      break;
    }
    int readCount = 0;
    double read = BenchBestSeconds(Repeats(size), nullptr, [&] { readCount = BenchReadPortKeys(monitor.path()); }, nullptr);
    double refill = BenchBestSeconds(Repeats(size), nullptr, [&] { RefreshPortsList(window.get()); }, ServeMessages);
    if (readCount != size || SendMessageA(list, LB_GETCOUNT, 0, 0) != size) {
      printf("  the read or the refill missed ports at %d\n", size);
      break;
    }
    read /= size;
    refill /= size;
    if (readBase == 0) {
      readBase = read;
      refillBase = refill;
    }
    BenchPrintRow(size, {refill / read, read / readBase, refill / refillBase});
  }
  printf("  (per-port columns: cost of one port against the same at %d ports; 1.00 is linear)\n",
         BenchSizes().front());
  MonitorShutdown();
  UnregisterClassA(kPortsClassName, ModuleInstance);
}

}  // namespace

PM_BENCHMARK("ports", "refilling the Ports window's list, against a plain registry read of the same ports",
             RunPortsBench);
