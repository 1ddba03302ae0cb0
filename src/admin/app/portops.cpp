#include "app/portops.h"

#include "base/memory.h"
#include "base/messages.h"
#include "base/module.h"
#include "diag/eventlog.h"
#include "model/portconfig.h"
#include "model/portlist.h"
#include "model/settings.h"
#include "model/store.h"
#include "portdlg/portdialog.h"
#include "resource.h"

namespace {

BOOL Fail() {
  NormalizeLastError();
  return FALSE;
}

// The working record of one operation, released on every path.
class ScopedPortConfig {
public:
  explicit ScopedPortConfig(HWND owner) : record_(CreatePortConfig(ModuleInstance, owner)) {}
  ~ScopedPortConfig() { DestroyPortConfig(record_); }
  ScopedPortConfig(const ScopedPortConfig&) = delete;
  ScopedPortConfig& operator=(const ScopedPortConfig&) = delete;

  PortConfig* get() const { return record_; }

private:
  PortConfig* record_;
};

// The logging options of the record become the monitor's and are stored.
BOOL KeepLogOptions(const PortConfig* record) {
  LogOptions options = {};
  MonitorGetLogOptions(&options);
  if (!ConfigToLogOptions(record, &options)) return FALSE;
  MonitorSetLogOptions(&options);
  return StoreWriteLogOptions(MonitorKeyPath, &options);
}

BOOL LoadLogOptions(PortConfig* record) {
  LogOptions options = {};
  MonitorGetLogOptions(&options);
  return LogOptionsToConfig(record, &options);
}

BOOL FailUnknownPort(const char* portName) {
  EvReport1(EVT_PORT_NOT_FOUND, portName);
  SetLastError(ERROR_UNKNOWN_PORT);
  return Fail();
}

}  // namespace

BOOL MonitorAddPort(const char* /*serverName*/, HWND owner, const char* /*monitorName*/) {
  if (!StoreCanWrite(MonitorKeyPath)) {
    ShowAccessDenied(nullptr, DeniedAction::Add);
    return TRUE;
  }
  ScopedPortConfig record(owner);
  if (!record.get()) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return Fail();
  }
  if (!AllowAllProtocols(record.get()) || !LoadLogOptions(record.get())) return Fail();

  INT_PTR result = RunAddPortDialog(record.get());
  if (result < 0) return Fail();
  if (result == 0) return TRUE;

  PortEntry* entry = nullptr;
  if (MemAllocateZeroed(sizeof *entry, &entry) != EXC_S_SUCCESS) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return Fail();
  }
  SettingsInitialize(kPortSettings, entry);  // what the dialog does not show starts as for any new port
  if (!PortConfigToEntry(record.get(), entry) || !StoreWritePort(MonitorKeyPath, entry) || !AddPortEntry(entry)) {
    MemFree(&entry);
    return Fail();
  }
  if (!KeepLogOptions(record.get())) return Fail();
  return TRUE;
}

BOOL MonitorConfigurePort(const char* /*serverName*/, HWND owner, const char* portName) {
  ScopedPortConfig record(owner);
  if (!record.get()) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return Fail();
  }
  // A copy: a delete, a refill or a reload on another thread may free the node while the access
  // box or the dialog is up.
  PortEntry port = {};
  if (!CopyPortEntry(portName, &port)) return FailUnknownPort(portName);
  if (!AllowAllProtocols(record.get()) || !PortEntryToConfig(record.get(), &port) || !LoadLogOptions(record.get())) {
    return Fail();
  }
  if (!StoreCanWrite(MonitorKeyPath)) {
    ShowAccessDenied(nullptr, DeniedAction::Configure);
    DWORD readOnly = 1;
    SetPortAttribute(record.get(), "Read Only", &readOnly);
  }

  INT_PTR result = RunConfigurePortDialog(record.get());
  if (result < 0) return Fail();
  if (result == 0) return TRUE;

  // The port is found again by its name: one deleted meanwhile is not brought back.
  if (!FindPortEntry(port.portName)) return FailUnknownPort(port.portName);
  PortEntry changed = port;
  if (!PortConfigToEntry(record.get(), &changed)) return Fail();
  if (!StoreWritePort(MonitorKeyPath, &changed)) return Fail();
  // A renamed port has been written under its new name first; its old key goes only now, so a
  // failure never leaves the port in no key. Key names ignore case: a change of case is one key.
  if (lstrcmpiA(changed.portName, port.portName) != 0 && !StoreDeletePort(MonitorKeyPath, port.portName)) {
    return Fail();
  }
  ReplacePortEntry(port.portName, &changed);
  if (!KeepLogOptions(record.get())) return Fail();
  return TRUE;
}

BOOL MonitorDeletePort(const char* /*serverName*/, HWND /*owner*/, const char* portName) {
  // The key goes first: a port the store keeps stays in the list too.
  PortEntry port = {};
  if (!CopyPortEntry(portName, &port)) {
    SetLastError(ERROR_UNKNOWN_PORT);
    return Fail();
  }
  if (!StoreDeletePort(MonitorKeyPath, portName)) return Fail();
  RemovePortEntry(portName);
  return TRUE;
}
