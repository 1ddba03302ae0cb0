// vtlpmui.dll: the port UI library that the print system loads into the administrator's process
// for Add Port, Configure Port and Delete Port. It runs the program's own dialogs here, where a
// user can see them, and applies what they accept through the monitor's Xcv commands, so it
// serves a remote print server as well as this machine.
#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

#include <optional>
#include <string>
#include <vector>

#include "base/memory.h"
#include "base/messages.h"
#include "base/module.h"
#include "base/text.h"
#include "client/xcvclient.h"
#include "dlgutil/help.h"
#include "dlgutil/refusal.h"
#include "model/portconfig.h"
#include "model/settings.h"
#include "names/resolve.h"
#include "portdlg/portdialog.h"
#include "resource.h"
#include "rules/portrules.h"
#include "xcv/xcv.h"

namespace {

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

// Tells the user why the monitor did not take the change, in the dialogs' words where it refused
// a value; answers FALSE with the status as last error.
BOOL ReportFailure(HWND owner, DWORD status) {
  if (UINT message = XcvRefusalMessage(status)) {
    ShowValidationError(owner, message, PortRulePrompt(message));
  } else {
    char text[512];
    FormatSystemError(status, text, sizeof text);
    ShowMessageBox(owner, text, kMonitorName, MB_ICONSTOP | MB_OK);
  }
  return Fail(status);
}

// The working record of one operation and the VTLnet library its completion uses, both released
// on every path.
class Operation {
public:
  explicit Operation(HWND owner) : record_(CreatePortConfig(ModuleInstance, owner)) { LoadVnetLibrary(); }
  ~Operation() {
    DestroyPortConfig(record_);
    UnloadVnetLibrary();
  }
  Operation(const Operation&) = delete;
  Operation& operator=(const Operation&) = delete;

  PortConfig* record() const { return record_; }

private:
  PortConfig* record_;
};

// Reads one section of the monitor's answer to a read command.
DWORD ReadSection(XcvConnection& xcv, const WCHAR* command, const std::string& input, XcvSection* section) {
  std::string text;
  DWORD status = xcv.Run(command, input, &text);
  return status == ERROR_SUCCESS ? XcvParseSection(text, section) : status;
}

// Puts the monitor's logging options into the record; `opened` keeps them as they were read.
DWORD LoadOptions(XcvConnection& xcv, PortConfig* record, LogOptions* opened) {
  XcvSection section;
  DWORD status = ReadSection(xcv, kXcvGetOptions, std::string(), &section);
  if (status != ERROR_SUCCESS) return status;
  *opened = {};
  XcvApplyOptions(section, opened);
  LogOptionsToConfig(record, opened);
  return ERROR_SUCCESS;
}

// Sends the port the dialogs accepted, then the logging options the user changed in the dialog,
// so that a change another administrator made meanwhile stays.
DWORD Apply(XcvConnection& xcv, const WCHAR* command, const PortConfig* record, PortEntry port,
            const LogOptions& opened) {
  PortConfigToEntry(record, &port);
  DWORD status = xcv.Run(command, XcvFormatText({XcvPortSection(port)}));
  if (status != ERROR_SUCCESS) return status;
  LogOptions options = opened;
  ConfigToLogOptions(record, &options);
  XcvSection before = XcvOptionsSection(opened);
  XcvSection after = XcvOptionsSection(options);
  XcvSection changes{after.key, {}};
  for (size_t i = 0; i < after.settings.size(); ++i) {
    if (after.settings[i].value != before.settings[i].value) changes.settings.push_back(after.settings[i]);
  }
  if (changes.settings.empty()) return ERROR_SUCCESS;
  return xcv.Run(kXcvSetOptions, XcvFormatText({changes}));
}

// Answers the new port's name, allocated with LocalAlloc, for the caller to release with LocalFree.
PWSTR CopyName(const char* name) {
  int length = MultiByteToWideChar(CP_ACP, 0, name, -1, nullptr, 0);
  auto* copy = static_cast<PWSTR>(LocalAlloc(LMEM_FIXED, static_cast<SIZE_T>(length > 0 ? length : 1) * sizeof(WCHAR)));
  if (!copy) return nullptr;
  copy[0] = L'\0';
  if (length > 0) MultiByteToWideChar(CP_ACP, 0, name, -1, copy, length);
  return copy;
}

BOOL AddPort(PCWSTR serverName, HWND owner, PWSTR* portNameOut) {
  if (portNameOut) *portNameOut = nullptr;
  std::string server;
  if (!ExactAnsi(serverName, &server)) return Fail(ERROR_INVALID_NAME);
  XcvConnection xcv(server, true);
  if (xcv.openError() == ERROR_ACCESS_DENIED) {
    ShowAccessDenied(owner, DeniedAction::Add);
    return Fail(ERROR_ACCESS_DENIED);
  }
  if (xcv.openError() != ERROR_SUCCESS) return ReportFailure(owner, xcv.openError());

  Operation operation(owner);
  if (!operation.record()) return Fail(ERROR_NOT_ENOUGH_MEMORY);
  AllowAllProtocols(operation.record());
  LogOptions opened = {};
  DWORD status = LoadOptions(xcv, operation.record(), &opened);
  if (status != ERROR_SUCCESS) return ReportFailure(owner, status);

  INT_PTR result = RunAddPortDialog(operation.record());
  if (result < 0) return Fail(ERROR_NOT_ENOUGH_MEMORY);
  if (result == 0) return Fail(ERROR_CANCELLED);
  PortEntry fresh = {};
  SettingsInitialize(kPortSettings, &fresh);  // what the dialog does not show starts as for any new port
  status = Apply(xcv, kXcvAddPort, operation.record(), fresh, opened);
  if (status != ERROR_SUCCESS) return ReportFailure(owner, status);
  if (portNameOut) *portNameOut = CopyName(operation.record()->portName);
  return TRUE;
}

BOOL ConfigurePort(PCWSTR serverName, HWND owner, PCWSTR portName) {
  std::string server;
  std::string name;
  if (!ExactAnsi(serverName, &server) || !ExactAnsi(portName, &name)) return Fail(ERROR_INVALID_NAME);
  // A user who may not administer the server still sees the settings.
  XcvConnection administer(server, true);
  bool readOnly = administer.openError() == ERROR_ACCESS_DENIED;
  std::optional<XcvConnection> reader;
  if (readOnly) reader.emplace(server, false);
  XcvConnection& xcv = readOnly ? *reader : administer;
  if (xcv.openError() != ERROR_SUCCESS) return ReportFailure(owner, xcv.openError());

  XcvSection section;
  DWORD status = ReadSection(xcv, kXcvGetPort, name, &section);
  if (status != ERROR_SUCCESS) return ReportFailure(owner, status);
  PortEntry port = {};
  lstrcpynA(port.portName, name.c_str(), sizeof port.portName);
  XcvApplyPort(section, &port);

  Operation operation(owner);
  if (!operation.record()) return Fail(ERROR_NOT_ENOUGH_MEMORY);
  AllowAllProtocols(operation.record());
  PortEntryToConfig(operation.record(), &port);
  LogOptions opened = {};
  status = LoadOptions(xcv, operation.record(), &opened);
  if (status != ERROR_SUCCESS) return ReportFailure(owner, status);
  if (readOnly) {
    ShowAccessDenied(owner, DeniedAction::Configure);
    DWORD on = 1;
    SetPortAttribute(operation.record(), "Read Only", &on);
  }

  INT_PTR result = RunConfigurePortDialog(operation.record());
  if (result < 0) return Fail(ERROR_NOT_ENOUGH_MEMORY);
  if (result == 0) return Fail(ERROR_CANCELLED);
  if (readOnly) return Fail(ERROR_ACCESS_DENIED);  // viewed only: nothing was changed
  status = Apply(xcv, kXcvSetPort, operation.record(), port, opened);
  return status == ERROR_SUCCESS ? TRUE : ReportFailure(owner, status);
}

// Deletes at once, as the Ports window does.
BOOL DeletePort(PCWSTR serverName, HWND owner, PCWSTR portName) {
  std::string server;
  std::string name;
  if (!ExactAnsi(serverName, &server) || !ExactAnsi(portName, &name)) return Fail(ERROR_INVALID_NAME);
  XcvConnection xcv(server, true);
  DWORD status = xcv.Run(kXcvDeletePort, name);
  return status == ERROR_SUCCESS ? TRUE : ReportFailure(owner, status);
}

// Nothing thrown may reach the print system.
template <class Call>
BOOL Guarded(Call call) {
  try {
    return call();
  } catch (...) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
}

BOOL WINAPI AddPortUI(PCWSTR server, HWND owner, PCWSTR /*monitorName*/, PWSTR* portNameOut) {
  return Guarded([&] { return AddPort(server, owner, portNameOut); });
}

BOOL WINAPI ConfigurePortUI(PCWSTR server, HWND owner, PCWSTR portName) {
  return Guarded([&] { return ConfigurePort(server, owner, portName); });
}

BOOL WINAPI DeletePortUI(PCWSTR server, HWND owner, PCWSTR portName) {
  return Guarded([&] { return DeletePort(server, owner, portName); });
}

MONITORUI UiTable = {sizeof(MONITORUI), AddPortUI, ConfigurePortUI, DeletePortUI};

}  // namespace

extern "C" PMONITORUI WINAPI InitializePrintMonitorUI() {
  return &UiTable;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  switch (reason) {
  case DLL_PROCESS_ATTACH:
    ModuleInstance = instance;  // the dialogs, strings and help come from this library
    MemInitialize();
    break;
  case DLL_PROCESS_DETACH:
    if (reserved) break;
    CloseHelp();
    UnregisterClassA(kHelpWindowClass, instance);
    break;
  }
  return TRUE;
}
