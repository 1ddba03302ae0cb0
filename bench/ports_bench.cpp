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
#include "diag/eventlog.h"
#include "model/portentry.h"
#include "model/portlist.h"
#include "resource.h"

namespace {

// Best of several runs; small lists take milliseconds, so they get more runs to steady them.
int Repeats(int ports) {
  return std::max(3, 20000 / ports);
}

// A monitor key of the benchmark's own, removed with everything beneath it at the end; so is the
// event source that the monitor registers, unless it was there before.
class BenchMonitorKey {
public:
  BenchMonitorKey() : path_("System\\PressmarkBench\\monitor-" + std::to_string(GetCurrentProcessId())) {
    ScopedKey source;
    hadEventSource_ = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kEventSourceKey, 0, KEY_READ, source.out()) == ERROR_SUCCESS;
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, path_.c_str());
    ScopedKey key;
    ready_ = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.out(),
                             nullptr) == ERROR_SUCCESS;
  }
  ~BenchMonitorKey() {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, path_.c_str());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "System\\PressmarkBench");
    if (!hadEventSource_) RegDeleteTreeA(HKEY_LOCAL_MACHINE, kEventSourceKey);
  }
  BenchMonitorKey(const BenchMonitorKey&) = delete;
  BenchMonitorKey& operator=(const BenchMonitorKey&) = delete;

  const char* path() const { return path_.c_str(); }
  explicit operator bool() const { return ready_; }

  // Adds ports until there are `count`, each as the port dialog stores a TCP/IP printer: names of
  // varied length, so that the list's widest name changes now and then.
  bool GrowTo(int count) {
    for (; planted_ < count; ++planted_) {
      std::string name = "pm" + std::to_string(planted_) + "_" + std::string(planted_ * 7919 % 30, 'w');
      std::string portKey = path_ + "\\Ports\\" + name;
      std::string host = "printer" + std::to_string(planted_) + ".example.com";
      DWORD protocol = kProtocolTcp;
      if (RegSetKeyValueA(HKEY_LOCAL_MACHINE, portKey.c_str(), "Protocol", REG_DWORD, &protocol, sizeof protocol) ||
          RegSetKeyValueA(HKEY_LOCAL_MACHINE, portKey.c_str(), "TCP/IP Name", REG_SZ, host.c_str(),
                          static_cast<DWORD>(host.size() + 1)) ||
          RegSetKeyValueA(HKEY_LOCAL_MACHINE, portKey.c_str(), "Banner", REG_SZ, "True", 5)) {
        return false;
      }
    }
    return true;
  }

private:
  std::string path_;
  bool hadEventSource_ = false;
  bool ready_ = false;
  int planted_ = 0;
};

// Enumerates the port keys and reads every value of each, the least any reader of the store does.
int ReadPortKeys(const char* keyPath) {
  ScopedKey ports;
  std::string portsPath = std::string(keyPath) + "\\Ports";
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, portsPath.c_str(), 0, KEY_READ, ports.out()) != ERROR_SUCCESS) return 0;
  int read = 0;
  for (DWORD index = 0;; ++index) {
    char name[kPortNameSize];
    DWORD nameLength = sizeof name;
    if (RegEnumKeyExA(ports.get(), index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      break;
    }
    ScopedKey port;
    if (RegOpenKeyExA(ports.get(), name, 0, KEY_QUERY_VALUE, port.out()) != ERROR_SUCCESS) continue;
    for (DWORD value = 0;; ++value) {
      char valueName[64];
      DWORD valueNameLength = sizeof valueName;
      BYTE data[256];
      DWORD dataSize = sizeof data;
      if (RegEnumValueA(port.get(), value, valueName, &valueNameLength, nullptr, nullptr, data, &dataSize) !=
          ERROR_SUCCESS) {
        break;
      }
    }
    ++read;
  }
  return read;
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
    double read = BenchBestSeconds(Repeats(size), nullptr, [&] { readCount = ReadPortKeys(monitor.path()); }, nullptr);
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
