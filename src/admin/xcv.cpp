// The Xcv commands: reads straight from the store, changes checked with the dialogs' rules, stored,
// and then the monitor's list read again.
#include "admin/xcv.h"

#include <winspool.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/memory.h"
#include "base/module.h"
#include "model/portlist.h"
#include "model/store.h"
#include "names/resolve.h"
#include "resource.h"
#include "rules/validate.h"

namespace {

// Far more than a port's or the options' section can take; a bound on the work a caller can ask for.
constexpr DWORD kMaxInputBytes = 64 * 1024;

bool MayAdminister(const XcvHandle& handle) {
  return (handle.access & SERVER_ACCESS_ADMINISTER) != 0;
}

// The input as text in the monitor's code page: exactly one UTF-16 text whose NUL ends the data,
// every character carried exactly (a best-fit character could name another port).
DWORD ReadInput(const BYTE* input, DWORD inputSize, std::string* text) {
  if (inputSize == 0 || inputSize % sizeof(WCHAR) || inputSize > kMaxInputBytes) return ERROR_INVALID_DATA;
  std::wstring wide(inputSize / sizeof(WCHAR), L'\0');
  memcpy(wide.data(), input, inputSize);
  if (wide.find(L'\0') != wide.size() - 1) return ERROR_INVALID_DATA;
  if (wide.size() == 1) {
    text->clear();
    return ERROR_SUCCESS;
  }
  BOOL lossy = FALSE;
  bool utf8 = GetACP() == CP_UTF8;  // UTF-8 carries every character but takes no default one
  DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  int length = WideCharToMultiByte(CP_ACP, flags, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return ERROR_INVALID_DATA;
  std::string converted(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, flags, wide.c_str(), -1, converted.data(), length, nullptr, utf8 ? nullptr : &lossy);
  if (lossy) return ERROR_INVALID_DATA;
  converted.pop_back();  // the NUL
  *text = std::move(converted);
  return ERROR_SUCCESS;
}

// Hands the text out as UTF-16 with its NUL.
DWORD WriteOutput(const std::string& text, BYTE* output, DWORD outputSize, DWORD* outputNeeded) {
  int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  if (length <= 0) return ERROR_INVALID_DATA;
  DWORD neededBytes = static_cast<DWORD>(length) * sizeof(WCHAR);
  *outputNeeded = neededBytes;
  if (outputSize < neededBytes) return ERROR_INSUFFICIENT_BUFFER;
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, reinterpret_cast<WCHAR*>(output), length);
  return ERROR_SUCCESS;
}

// The ports of the store, in the store's order (the reader hands them out reversed).
std::vector<PortEntry> StoredPorts() {
  std::vector<PortEntry> ports;
  PortEntry* entry = StoreReadPorts(MonitorKeyPath);
  while (entry) {
    PortEntry* next = entry->next;
    entry->next = nullptr;
    ports.push_back(*entry);
    MemFree(&entry);
    entry = next;
  }
  std::reverse(ports.begin(), ports.end());
  return ports;
}

bool FindStoredPort(const std::string& portName, PortEntry* port) {
  for (const PortEntry& stored : StoredPorts()) {
    if (portName == stored.portName) {
      *port = stored;
      return true;
    }
  }
  return false;
}

// As the monitor starts with them: level 1 unless the store says otherwise.
LogOptions StoredOptions() {
  LogOptions options = {};
  options.loggingLevel = 1;
  StoreReadLogOptions(MonitorKeyPath, &options);
  return options;
}

// The one section of a change's text, of the kind asked for.
DWORD ReadChange(const BYTE* input, DWORD inputSize, bool portSection, XcvSection* section) {
  std::string text;
  DWORD status = ReadInput(input, inputSize, &text);
  if (status != ERROR_SUCCESS) return status;
  std::vector<XcvSection> sections;
  status = XcvParseText(text, &sections);
  if (status != ERROR_SUCCESS) return status;
  std::string portName;
  if (sections.size() != 1 || XcvSectionPort(sections[0], &portName) != portSection) return ERROR_INVALID_DATA;
  *section = std::move(sections[0]);
  return ERROR_SUCCESS;
}

using NameRule = bool (*)(const char*, UINT*);
using NameLookup = void (*)(const char*, char*, int);

// One protocol's printer as the port dialog takes it on OK: an address left empty is looked up
// from the name, then the name's rule and the address's rule. The protocol not in use keeps what
// it holds, which must pass the same rules where it is not empty.
UINT CheckPrinter(bool selected, NameRule checkName, NameRule checkAddress, NameLookup lookUp, const char* name,
                  char* address, int addressSize) {
  if (selected && !address[0] && name[0]) lookUp(name, address, addressSize);
  UINT message = 0;
  if (!checkName(name, &message)) return message;
  if ((selected || address[0]) && !checkAddress(address, &message)) return message;
  return 0;
}

// The dialogs' rules over a port about to be stored; 0 when all pass, else the message id.
UINT CheckPortRules(PortEntry* port) {
  ScopedSockets sockets;
  bool tcp = port->protocol == kProtocolTcp;
  UINT message = CheckPrinter(tcp, CheckTcpName, CheckTcpAddress, TcpNameToAddress, port->tcpName, port->tcpAddress,
                              sizeof port->tcpAddress);
  if (!message) {
    message = CheckPrinter(!tcp, CheckVnetName, CheckVnetAddress, VnetNameToAddress, port->vnetName,
                           port->vnetAddress, sizeof port->vnetAddress);
  }
  if (message) return message;
  // The printer options dialog checks the banner tray with the input tray's rule.
  if (port->setBannerTray && !CheckInputTray(static_cast<int>(port->bannerTrayNumber), &message)) return message;
  if (port->setInputTray && !CheckInputTray(static_cast<int>(port->inputTrayNumber), &message)) return message;
  if (port->setOutputTray && !CheckOutputTray(static_cast<int>(port->outputTrayNumber), &message)) return message;
  return 0;
}

// Checks and stores a port, in the order of the port dialog: the printer, then a new port's name.
// The list is read again so the monitor serves what the store holds.
DWORD StorePort(PortEntry* port, bool isNew) {
  if (port->protocol != kProtocolTcp && port->protocol != kProtocolVnet) return ERROR_INVALID_DATA;
  UINT message = CheckPortRules(port);
  if (!message && isNew && !port->portName[0]) message = IDS_PORT_NAME_REQUIRED;
  if (!message && isNew) CheckPortName(port->portName, &message);
  if (message) return XcvRefusal(message);
  if (!StoreWritePort(MonitorKeyPath, port)) return GetLastError();
  ReloadPortList();
  return ERROR_SUCCESS;
}

DWORD AddPort(const BYTE* input, DWORD inputSize) {
  XcvSection section;
  DWORD status = ReadChange(input, inputSize, true, &section);
  if (status != ERROR_SUCCESS) return status;
  // A new port as the port dialog starts one.
  PortEntry port = {};
  port.bannerTrayNumber = port.inputTrayNumber = port.outputTrayNumber = 1;
  port.pressmarkPrinter = 1;
  std::string portName;
  XcvSectionPort(section, &portName);
  lstrcpynA(port.portName, portName.c_str(), sizeof port.portName);
  XcvApplyPort(section, &port);
  return StorePort(&port, true);
}

DWORD SetPort(const BYTE* input, DWORD inputSize) {
  XcvSection section;
  DWORD status = ReadChange(input, inputSize, true, &section);
  if (status != ERROR_SUCCESS) return status;
  std::string portName;
  XcvSectionPort(section, &portName);
  PortEntry port = {};
  if (!FindStoredPort(portName, &port)) return ERROR_UNKNOWN_PORT;
  XcvApplyPort(section, &port);
  return StorePort(&port, false);
}

DWORD DeletePort(const BYTE* input, DWORD inputSize) {
  std::string portName;
  DWORD status = ReadInput(input, inputSize, &portName);
  if (status != ERROR_SUCCESS) return status;
  PortEntry port = {};
  if (!FindStoredPort(portName, &port)) return ERROR_UNKNOWN_PORT;
  if (!StoreDeletePort(MonitorKeyPath, port.portName)) return GetLastError();
  ReloadPortList();
  return ERROR_SUCCESS;
}

DWORD SetOptions(const BYTE* input, DWORD inputSize) {
  XcvSection section;
  DWORD status = ReadChange(input, inputSize, false, &section);
  if (status != ERROR_SUCCESS) return status;
  LogOptions options = StoredOptions();
  XcvApplyOptions(section, &options);
  UINT message = 0;
  if (!CheckLogLevel(options.loggingLevel, &message)) return XcvRefusal(message);
  if (options.trace && !CheckTraceFile(options.traceFile, &message)) return XcvRefusal(message);
  if (!StoreWriteLogOptions(MonitorKeyPath, &options)) return GetLastError();
  // Like the logging options dialog: the monitor takes them, and the event level follows at its
  // next start.
  MonitorSetLogOptions(&options);
  return ERROR_SUCCESS;
}

DWORD GetPort(const BYTE* input, DWORD inputSize, std::string* text) {
  std::string portName;
  DWORD status = ReadInput(input, inputSize, &portName);
  if (status != ERROR_SUCCESS) return status;
  PortEntry port = {};
  if (!FindStoredPort(portName, &port)) return ERROR_UNKNOWN_PORT;
  *text = XcvFormatText({XcvPortSection(port)});
  return ERROR_SUCCESS;
}

std::string AllSettings() {
  std::vector<XcvSection> sections;
  for (const PortEntry& port : StoredPorts()) sections.push_back(XcvPortSection(port));
  sections.push_back(XcvOptionsSection(StoredOptions()));
  return XcvFormatText(sections);
}

// The port UI library stands beside the monitor library.
std::string UiLibraryPath() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(ModuleInstance, path, sizeof path);
  if (length == 0 || length >= sizeof path) return kUiLibraryName;
  std::string directory(path, length);
  return directory.substr(0, directory.find_last_of("\\/") + 1) + kUiLibraryName;
}

}  // namespace

DWORD XcvRunCommand(const XcvHandle& handle, const WCHAR* command, const BYTE* input, DWORD inputSize, BYTE* output,
                    DWORD outputSize, DWORD* outputNeeded) {
  if (!command || !outputNeeded || (!input && inputSize) || (!output && outputSize)) return ERROR_INVALID_PARAMETER;
  *outputNeeded = 0;

  using Change = DWORD (*)(const BYTE*, DWORD);
  const struct {
    const WCHAR* name;
    Change run;
  } changes[] = {{kXcvAddPort, AddPort}, {kXcvSetPort, SetPort}, {kXcvDeletePort, DeletePort},
                 {kXcvSetOptions, SetOptions}};
  for (const auto& change : changes) {
    if (wcscmp(command, change.name) != 0) continue;
    if (!MayAdminister(handle)) return ERROR_ACCESS_DENIED;
    return change.run(input, inputSize);
  }

  std::string text;
  DWORD status = ERROR_SUCCESS;
  if (!wcscmp(command, kXcvMonitorUi)) {
    text = UiLibraryPath();
  } else if (!wcscmp(command, kXcvGetPort)) {
    status = GetPort(input, inputSize, &text);
  } else if (!wcscmp(command, kXcvGetPorts)) {
    text = AllSettings();
  } else if (!wcscmp(command, kXcvGetOptions)) {
    text = XcvFormatText({XcvOptionsSection(StoredOptions())});
  } else {
    return ERROR_INVALID_PARAMETER;
  }
  if (status != ERROR_SUCCESS) return status;
  return WriteOutput(text, output, outputSize, outputNeeded);
}
