// Writing side of the registry store: typed value writers, ports, logging options, the write
// probe and the "Update" flag.
#include "model/store.h"

#include <cstring>

#include "base/scoped.h"
#include "names/resolve.h"

namespace {

BOOL Fail(LONG error) {
  SetLastError(static_cast<DWORD>(error));
  return FALSE;
}

BOOL SetDwordValue(HKEY key, const char* valueName, DWORD value) {
  LONG result = RegSetValueExA(key, valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  return result == ERROR_SUCCESS ? TRUE : Fail(result);
}

// A port's key is named by the port; an empty name or one with a backslash would name the
// "Ports" key itself or a key beneath another port.
bool IsPortKeyName(const char* portName) {
  return portName && *portName && !strchr(portName, '\\');
}

// The AND of a series of writes that goes on past a failure; the first failure's code is the
// last-error code at the end, whatever later calls leave there.
class WriteResults {
public:
  void Add(BOOL written) {
    if (written || failed_) return;
    failed_ = true;
    error_ = GetLastError();
  }
  BOOL Result() const {
    if (!failed_) return TRUE;
    SetLastError(error_);
    return FALSE;
  }

private:
  bool failed_ = false;
  DWORD error_ = ERROR_SUCCESS;
};

using NameLookup = void (*)(const char* name, char* text, int size);

// Stores a printer by name when the name resolves now, else by address when there is one;
// with neither, both stored values stay. Kept, both are stored as they stand. Deletions do not
// count toward the result.
BOOL WritePrinter(HKEY port, bool keep, NameLookup lookUp, const char* name, const char* nameValue,
                  const char* address, const char* addressValue) {
  if (keep) {
    WriteResults results;
    results.Add(RegWriteString(port, nameValue, name));
    results.Add(RegWriteString(port, addressValue, address));
    return results.Result();
  }
  char resolved[16];
  lookUp(name, resolved, sizeof resolved);
  if (resolved[0]) {
    RegDeleteValueA(port, addressValue);
    return RegWriteString(port, nameValue, name);
  }
  if (!address[0]) return TRUE;
  RegDeleteValueA(port, nameValue);
  return RegWriteString(port, addressValue, address);
}

// A set flag stores its number even when it is 0, since the reader leaves out a port whose set
// flag has no number.
BOOL WriteTray(HKEY port, const char* flagName, DWORD flag, const char* numberName, DWORD number) {
  WriteResults results;
  results.Add(RegWriteBool(port, flagName, flag));
  if (flag) {
    results.Add(SetDwordValue(port, numberName, number));
  } else {
    RegDeleteValueA(port, numberName);
  }
  return results.Result();
}

}  // namespace

BOOL RegWriteDword(HKEY key, const char* valueName, DWORD value) {
  if (value == 0) {
    RegDeleteValueA(key, valueName);
    return TRUE;
  }
  return SetDwordValue(key, valueName, value);
}

BOOL RegWriteString(HKEY key, const char* valueName, const char* text) {
  if (!text || !*text) {
    RegDeleteValueA(key, valueName);
    return TRUE;
  }
  LONG result = RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                               static_cast<DWORD>(strlen(text) + 1));
  return result == ERROR_SUCCESS ? TRUE : Fail(result);
}

BOOL RegWriteBool(HKEY key, const char* valueName, DWORD value) {
  return RegWriteString(key, valueName, value ? "True" : "");
}

BOOL StoreWritePort(const char* keyPath, const PortEntry* entry, DWORD keepPrinters) {
  // Without a protocol the port would be stored without "Protocol" and vanish at the next reload.
  if (!IsPortKeyName(entry->portName) || entry->protocol == 0) return Fail(ERROR_INVALID_PARAMETER);
  ScopedKey port;
  {
    ScopedKey ports;
    if (!StoreOpenPortsKey(keyPath, ports.out())) return FALSE;
    char noClass[] = "";
    LONG result = RegCreateKeyExA(ports.get(), entry->portName, 0, noClass, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                                  nullptr, port.out(), nullptr);
    if (result != ERROR_SUCCESS) return Fail(result);
  }

  WriteResults results;
  results.Add(RegWriteDword(port.get(), "Protocol", entry->protocol));
  {
    ScopedSockets sockets;
    bool keepTcp = (keepPrinters & kStoreKeepTcpPrinter) != 0, keepVnet = (keepPrinters & kStoreKeepVnetPrinter) != 0;
    results.Add(WritePrinter(port.get(), keepTcp, TcpNameToAddress, entry->tcpName, "TCP/IP Name", entry->tcpAddress,
                             "TCP/IP Address"));
    results.Add(WritePrinter(port.get(), keepVnet, VnetNameToAddress, entry->vnetName, "VTLnet Name",
                             entry->vnetAddress, "VTLnet Address"));
  }
  results.Add(RegWriteBool(port.get(), "Banner", entry->banner));
  results.Add(WriteTray(port.get(), "Set Banner Tray", entry->setBannerTray, "Banner Tray Number",
                        entry->bannerTrayNumber));
  results.Add(WriteTray(port.get(), "Set Output Tray", entry->setOutputTray, "Output Tray Number",
                        entry->outputTrayNumber));
  results.Add(WriteTray(port.get(), "Set Input Tray", entry->setInputTray, "Input Tray Number",
                        entry->inputTrayNumber));
  // Values the dialogs do not show travel with the port, so a rename keeps them.
  results.Add(RegWriteDword(port.get(), "TCP/IP Port Number", entry->tcpPortNumber));
  results.Add(RegWriteString(port.get(), "LPR Queue", entry->lprQueue));
  results.Add(RegWriteDword(port.get(), "Send Timeout", entry->sendTimeout));
  RegDeleteValueA(port.get(), "Pressmark");
  results.Add(RegWriteBool(port.get(), "VTLlaser TCP/IP", entry->vtllaserPrinter));
  return results.Result();
}

BOOL StoreDeletePort(const char* keyPath, const char* portName) {
  if (!IsPortKeyName(portName)) return Fail(ERROR_INVALID_PARAMETER);
  ScopedKey ports;
  if (!StoreOpenPortsKey(keyPath, ports.out())) return FALSE;
  LONG result = RegDeleteKeyA(ports.get(), portName);
  return result == ERROR_SUCCESS ? TRUE : Fail(result);
}

BOOL StoreWriteLogOptions(const char* keyPath, const LogOptions* options) {
  ScopedKey key;
  if (!StoreOpenOptionsKey(keyPath, key.out())) return FALSE;
  WriteResults results;
  results.Add(RegWriteDword(key.get(), "Logging Level", options->loggingLevel));
  results.Add(RegWriteBool(key.get(), "Trace", options->trace));
  if (options->traceFile[0]) results.Add(RegWriteString(key.get(), "Trace File", options->traceFile));
  results.Add(RegWriteBool(key.get(), "Bubble", options->bubble));
  return results.Result();
}

BOOL StoreCanWrite(const char* keyPath) {
  ScopedKey ports;
  return StoreOpenPortsKey(keyPath, ports.out());
}

BOOL StoreSetUpdate(const char* keyPath) {
  ScopedKey monitor;
  if (!StoreOpenMonitorKey(keyPath, monitor.out())) return FALSE;
  BOOL written = RegWriteBool(monitor.get(), "Update", TRUE);
  LONG closed = monitor.Close();
  if (closed != ERROR_SUCCESS) return Fail(closed);
  return written;
}
