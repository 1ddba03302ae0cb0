// The Xcv commands: reads straight from the store, changes checked with the dialogs' rules, stored,
// and then the monitor's list read again.
#include "admin/xcv.h"

#include <winspool.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/memory.h"
#include "base/scoped.h"
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

// A port is found by its name in any case, as the "name in use" rule and the registry compare.
bool FindStoredPort(const std::string& portName, PortEntry* port) {
  for (const PortEntry& stored : StoredPorts()) {
    if (lstrcmpiA(portName.c_str(), stored.portName) == 0) {
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

// The one section of a change's text.
DWORD ReadSection(const BYTE* input, DWORD inputSize, XcvSection* section) {
  std::string text;
  DWORD status = ReadInput(input, inputSize, &text);
  if (status != ERROR_SUCCESS) return status;
  std::vector<XcvSection> sections;
  status = XcvParseText(text, &sections);
  if (status != ERROR_SUCCESS) return status;
  if (sections.size() != 1) return ERROR_INVALID_DATA;
  *section = std::move(sections[0]);
  return ERROR_SUCCESS;
}

bool Names(const XcvSection& section, const char* name) {
  for (const XcvSetting& setting : section.settings) {
    if (setting.name == name) return true;
  }
  return false;
}

// The printer pairs a change leaves as stored: each pair whose name and address it does not name,
// unless it names the protocol. A kept pair is not looked up again, so neither value replaces the other.
DWORD KeptPrinters(const XcvSection& section) {
  if (Names(section, "Protocol")) return 0;
  DWORD kept = 0;
  if (!Names(section, "TCP/IP Name") && !Names(section, "TCP/IP Address")) kept |= kStoreKeepTcpPrinter;
  if (!Names(section, "VTLnet Name") && !Names(section, "VTLnet Address")) kept |= kStoreKeepVnetPrinter;
  return kept;
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

// The dialogs' rules over a port about to be stored, but for the kept printer pairs; 0 when all
// pass, else the message id.
UINT CheckPortRules(PortEntry* port, DWORD kept) {
  ScopedSockets sockets;
  bool tcp = port->protocol == kProtocolTcp;
  UINT message = 0;
  if (!(kept & kStoreKeepTcpPrinter)) {
    message = CheckPrinter(tcp, CheckTcpName, CheckTcpAddress, TcpNameToAddress, port->tcpName, port->tcpAddress,
                           sizeof port->tcpAddress);
  }
  if (!message && !(kept & kStoreKeepVnetPrinter)) {
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

// Checks and, with `store`, stores a port, in the order of the port dialog: the printer, then a new
// port's name. The list is read again so the monitor serves what the store holds.
DWORD StorePort(PortEntry* port, bool isNew, DWORD kept, bool store) {
  if (port->protocol != kProtocolTcp && port->protocol != kProtocolVnet) return ERROR_INVALID_DATA;
  UINT message = CheckPortRules(port, kept);
  if (!message && isNew && !port->portName[0]) message = IDS_PORT_NAME_REQUIRED;
  if (!message && isNew) CheckPortName(port->portName, &message);
  if (message) return XcvRefusal(message);
  if (!store) return ERROR_SUCCESS;
  if (!StoreWritePort(MonitorKeyPath, port, kept)) return GetLastError();
  ReloadPortList();
  return ERROR_SUCCESS;
}

DWORD AddPort(const XcvSection& section, bool store) {
  // A new port as the port dialog starts one.
  PortEntry port = {};
  port.bannerTrayNumber = port.inputTrayNumber = port.outputTrayNumber = 1;
  port.pressmarkPrinter = 1;
  std::string portName;
  XcvSectionPort(section, &portName);
  lstrcpynA(port.portName, portName.c_str(), sizeof port.portName);
  XcvApplyPort(section, &port);
  return StorePort(&port, true, 0, store);
}

// Settings the section does not name stay as stored, the printers included.
DWORD SetPort(const XcvSection& section, bool store) {
  std::string portName;
  XcvSectionPort(section, &portName);
  PortEntry port = {};
  if (!FindStoredPort(portName, &port)) return ERROR_UNKNOWN_PORT;
  XcvApplyPort(section, &port);
  return StorePort(&port, false, KeptPrinters(section), store);
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

// The store keeps its trace file name when given an empty one; a change that names it empty clears it.
BOOL ForgetTraceFile() {
  ScopedKey key;
  if (!StoreOpenOptionsKey(MonitorKeyPath, key.out())) return FALSE;
  LONG result = RegDeleteValueA(key.get(), "Trace File");
  if (result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND) return TRUE;
  SetLastError(static_cast<DWORD>(result));
  return FALSE;
}

DWORD SetOptions(const XcvSection& section, bool store) {
  LogOptions options = StoredOptions();
  XcvApplyOptions(section, &options);
  UINT message = 0;
  if (!CheckLogLevel(options.loggingLevel, &message)) return XcvRefusal(message);
  if (options.trace && !CheckTraceFile(options.traceFile, &message)) return XcvRefusal(message);
  if (!store) return ERROR_SUCCESS;
  if (!StoreWriteLogOptions(MonitorKeyPath, &options)) return GetLastError();
  if (!options.traceFile[0] && Names(section, "Trace File") && !ForgetTraceFile()) return GetLastError();
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

// Runs a change, and stores it, on the input's one section, which must be of the command's kind.
DWORD RunChange(const BYTE* input, DWORD inputSize, DWORD (*change)(const XcvSection&, bool), bool portSection) {
  XcvSection section;
  DWORD status = ReadSection(input, inputSize, &section);
  if (status != ERROR_SUCCESS) return status;
  std::string portName;
  if (XcvSectionPort(section, &portName) != portSection) return ERROR_INVALID_DATA;
  return change(section, true);
}

DWORD AddPortCommand(const BYTE* input, DWORD inputSize) {
  return RunChange(input, inputSize, AddPort, true);
}

DWORD SetPortCommand(const BYTE* input, DWORD inputSize) {
  return RunChange(input, inputSize, SetPort, true);
}

DWORD SetOptionsCommand(const BYTE* input, DWORD inputSize) {
  return RunChange(input, inputSize, SetOptions, false);
}

// What an import of the section would answer, storing nothing: a port the store holds (its name in
// any case) is changed, another added, the options set.
DWORD CheckSection(const BYTE* input, DWORD inputSize) {
  XcvSection section;
  DWORD status = ReadSection(input, inputSize, &section);
  if (status != ERROR_SUCCESS) return status;
  std::string portName;
  if (!XcvSectionPort(section, &portName)) return SetOptions(section, false);
  PortEntry port = {};
  return FindStoredPort(portName, &port) ? SetPort(section, false) : AddPort(section, false);
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
  } changes[] = {{kXcvAddPort, AddPortCommand},     {kXcvSetPort, SetPortCommand}, {kXcvDeletePort, DeletePort},
                 {kXcvSetOptions, SetOptionsCommand}, {kXcvCheckSection, CheckSection}};
  for (const auto& change : changes) {
    if (wcscmp(command, change.name) != 0) continue;
    if (!MayAdminister(handle)) return ERROR_ACCESS_DENIED;
    return change.run(input, inputSize);
  }

  std::string text;
  DWORD status = ERROR_SUCCESS;
  if (!wcscmp(command, kXcvMonitorUi)) {
    text = kUiLibraryName;  // loaded in the administrator's process, from that machine's system directory
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
