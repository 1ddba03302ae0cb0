// A monitor key of a benchmark's own, in which it plants the ports it measures with, and the plain
// read of those ports that benchmarks compare with.
#pragma once

#include <windows.h>

#include <string>

#include "base/scoped.h"
#include "diag/eventlog.h"
#include "model/portentry.h"

// Removed with everything beneath it at the end; so is the event source that the monitor
// registers, unless it was there before.
class BenchMonitorKey {
public:
  explicit BenchMonitorKey(const char* name = "monitor")
      : path_("System\\PressmarkBench\\" + std::string(name) + "-" + std::to_string(GetCurrentProcessId())) {
    ScopedKey source;
    hadEventSource_ = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kEventSourceKey, 0, KEY_READ, source.out()) == ERROR_SUCCESS;
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, path_.c_str());
    ScopedKey key;
    ready_ = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.out(),
                             nullptr) == ERROR_SUCCESS;
  }
  ~BenchMonitorKey() {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, path_.c_str());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "System\\PressmarkBench");  // once the last one is gone
    if (!hadEventSource_) RegDeleteTreeA(HKEY_LOCAL_MACHINE, kEventSourceKey);
  }
  BenchMonitorKey(const BenchMonitorKey&) = delete;
  BenchMonitorKey& operator=(const BenchMonitorKey&) = delete;

  const char* path() const { return path_.c_str(); }
  explicit operator bool() const { return ready_; }

  // The name of the index-th planted port: of varied length, so that a list's widest name changes
  // now and then.
  static std::string PortName(int index) {
    return "pm" + std::to_string(index) + "_" + std::string(index * 7919 % 30, 'w');
  }

  // Adds ports until there are `count`, each a TCP/IP printer with a banner as the port dialog
  // stores it: by name, or with `byAddress` by address.
  bool GrowTo(int count, bool byAddress = false) {
    for (; planted_ < count; ++planted_) {
      std::string portKey = path_ + "\\Ports\\" + PortName(planted_);
      std::string printer = byAddress ? "10.1." + std::to_string(planted_ / 250) + "." + std::to_string(planted_ % 250)
                                      : "printer" + std::to_string(planted_) + ".example.com";
      DWORD protocol = kProtocolTcp;
      if (RegSetKeyValueA(HKEY_LOCAL_MACHINE, portKey.c_str(), "Protocol", REG_DWORD, &protocol, sizeof protocol) ||
          RegSetKeyValueA(HKEY_LOCAL_MACHINE, portKey.c_str(), byAddress ? "TCP/IP Address" : "TCP/IP Name", REG_SZ,
                          printer.c_str(), static_cast<DWORD>(printer.size() + 1)) ||
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
inline int BenchReadPortKeys(const char* keyPath) {
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
