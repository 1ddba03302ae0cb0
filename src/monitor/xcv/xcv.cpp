// The Xcv commands: reads straight from the store (an answer too large for the caller's buffer kept
// for its next call), changes checked with the dialogs' rules, stored, and then the changed ports
// read back into the monitor's list.
#include "xcv/xcv.h"

#include <winspool.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/memory.h"
#include "base/scoped.h"
#include "base/text.h"
#include "jobs/portstatus.h"
#include "jobs/testpage.h"
#include "model/portlist.h"
#include "model/settings.h"
#include "model/store.h"
#include "names/resolve.h"
#include "rules/portrules.h"

namespace {

bool MayAdminister(const XcvHandle& handle) {
  return (handle.access & SERVER_ACCESS_ADMINISTER) != 0;
}

// The input as text in the monitor's code page: exactly one UTF-16 text whose NUL ends the data,
// every character carried exactly (a best-fit character could name another port).
DWORD ReadInput(const BYTE* input, DWORD inputSize, std::string* text) {
  if (inputSize == 0 || inputSize % sizeof(WCHAR) || inputSize > kXcvMaxInputBytes) return ERROR_INVALID_DATA;
  std::wstring wide(inputSize / sizeof(WCHAR), L'\0');
  memcpy(wide.data(), input, inputSize);
  if (wide.find(L'\0') != wide.size() - 1) return ERROR_INVALID_DATA;
  return ExactAnsi(wide.c_str(), text) ? ERROR_SUCCESS : ERROR_INVALID_DATA;
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

// A port is found by its name in any case, as the "name in use" rule and the registry compare; the
// record holds the name as stored.
bool FindStoredPort(const std::string& portName, PortEntry* port) {
  return StoreFindPort(MonitorKeyPath, portName.c_str(), port) != FALSE;
}

// The monitor's list takes the ports as the store now holds them.
void RereadPorts(const std::vector<std::string>& portNames) {
  std::vector<const char*> names;
  for (const std::string& name : portNames) names.push_back(name.c_str());
  RereadPortEntries(names.data(), names.size());
}

// The one section of a change's text.
DWORD ReadSection(const BYTE* input, DWORD inputSize, XcvSection* section) {
  std::string text;
  DWORD status = ReadInput(input, inputSize, &text);
  return status == ERROR_SUCCESS ? XcvParseSection(text, section) : status;
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

// The printer of the port's protocol completed as the port dialog completes it on OK: an address
// left empty is looked up from the name. A kept pair is not looked up, so neither value replaces the other.
void CompletePrinter(PortEntry* port, DWORD kept) {
  if (port->protocol == kProtocolTcp && !(kept & kStoreKeepTcpPrinter) && !port->tcpAddress[0] && port->tcpName[0]) {
    TcpNameToAddress(port->tcpName, port->tcpAddress, sizeof port->tcpAddress);
  }
  if (port->protocol == kProtocolVnet && !(kept & kStoreKeepVnetPrinter) && !port->vnetAddress[0] &&
      port->vnetName[0]) {
    VnetNameToAddress(port->vnetName, port->vnetAddress, sizeof port->vnetAddress);
  }
}

// A port change as it would be stored: the port, whether it is new, the printer pairs it keeps.
struct PortChange {
  PortEntry port;
  bool isNew;
  DWORD kept;
};

// A new port as the port dialog starts one, the section's settings over it.
PortChange NewPort(const XcvSection& section, const std::string& portName) {
  PortChange change = {{}, true, 0};
  PortEntry& port = change.port;
  SettingsInitialize(kPortSettings, &port);
  port.pressmarkPrinter = 1;
  lstrcpynA(port.portName, portName.c_str(), sizeof port.portName);
  XcvApplyPort(section, &port);
  return change;
}

// The stored port, the section's settings over it; settings the section does not name stay as
// stored, the printers included.
PortChange ChangedPort(const XcvSection& section, const PortEntry& stored) {
  PortChange change = {stored, false, KeptPrinters(section)};
  XcvApplyPort(section, &change.port);
  return change;
}

// Completes the change's printer and checks it with the port rules, but for the kept printer pairs;
// a new port's name is checked against the spooler's names (read now when none are given) and the store.
DWORD CheckPortChange(PortChange* change, const SpoolerPortNames* spooler) {
  PortEntry* port = &change->port;
  if (port->protocol != kProtocolTcp && port->protocol != kProtocolVnet) return ERROR_INVALID_DATA;
  ScopedSockets sockets;
  CompletePrinter(port, change->kept);
  RuleFailure failure = CheckPortRules(*port, {change->kept, change->isNew, spooler});
  return failure.message ? XcvRefusal(failure.message) : ERROR_SUCCESS;
}

// Stores the change; `created` as StoreWritePort fills it.
DWORD StorePortChange(const PortChange& change, PortEntry* created = nullptr) {
  return StoreWritePort(MonitorKeyPath, &change.port, change.kept, created) ? ERROR_SUCCESS : GetLastError();
}

// Checks and stores one change; the monitor's list then takes the port as stored.
DWORD ApplyPortChange(PortChange change) {
  DWORD status = CheckPortChange(&change, nullptr);
  if (status == ERROR_SUCCESS) status = StorePortChange(change);
  if (status == ERROR_SUCCESS) RereadPorts({change.port.portName});
  return status;
}

DWORD AddPort(const XcvSection& section) {
  std::string portName;
  XcvSectionPort(section, &portName);
  return ApplyPortChange(NewPort(section, portName));
}

DWORD SetPort(const XcvSection& section) {
  std::string portName;
  XcvSectionPort(section, &portName);
  PortEntry stored = {};
  if (!FindStoredPort(portName, &stored)) return ERROR_UNKNOWN_PORT;
  return ApplyPortChange(ChangedPort(section, stored));
}

DWORD DeletePort(const BYTE* input, DWORD inputSize) {
  std::string portName;
  DWORD status = ReadInput(input, inputSize, &portName);
  if (status != ERROR_SUCCESS) return status;
  PortEntry port = {};
  if (!FindStoredPort(portName, &port)) return ERROR_UNKNOWN_PORT;
  if (!StoreDeletePort(MonitorKeyPath, port.portName)) return GetLastError();
  RemovePortEntry(port.portName);
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

// The stored options, the section's settings over them, checked with the logging dialog's rules.
DWORD CheckOptions(const XcvSection& section, LogOptions* options) {
  *options = StoreLogOptionsOrDefaults(MonitorKeyPath);
  XcvApplyOptions(section, options);
  UINT message = 0;
  if (!CheckLogLevel(options->loggingLevel, &message)) return XcvRefusal(message);
  if (options->trace && !CheckTraceFile(options->traceFile, &message)) return XcvRefusal(message);
  return ERROR_SUCCESS;
}

DWORD StoreOptions(const XcvSection& section, const LogOptions& options) {
  if (!StoreWriteLogOptions(MonitorKeyPath, &options)) return GetLastError();
  if (!options.traceFile[0] && Names(section, "Trace File") && !ForgetTraceFile()) return GetLastError();
  // Like the logging options dialog: the monitor takes them, and the event level follows at its
  // next start.
  MonitorSetLogOptions(&options);
  return ERROR_SUCCESS;
}

DWORD SetOptions(const XcvSection& section) {
  LogOptions options = {};
  DWORD status = CheckOptions(section, &options);
  return status == ERROR_SUCCESS ? StoreOptions(section, options) : status;
}

// The stored port that the input names.
DWORD ReadPort(const BYTE* input, DWORD inputSize, PortEntry* port) {
  std::string portName;
  DWORD status = ReadInput(input, inputSize, &portName);
  if (status != ERROR_SUCCESS) return status;
  return FindStoredPort(portName, port) ? ERROR_SUCCESS : ERROR_UNKNOWN_PORT;
}

DWORD GetPort(const BYTE* input, DWORD inputSize, std::string* text) {
  PortEntry port = {};
  DWORD status = ReadPort(input, inputSize, &port);
  if (status == ERROR_SUCCESS) *text = XcvFormatText({XcvPortSection(port)});
  return status;
}

const char* Flag(bool value) {
  return value ? "True" : "False";
}

void AddSnmp(const PortStatus& asked, std::vector<XcvSetting>* lines) {
  lines->push_back({"SNMP", Flag(asked.snmpWanted)});
  const PrinterState& state = asked.state;
  if (!state.answered) return;
  lines->insert(lines->end(), {{"SNMP State", asked.stateWords},
                               {"Device Status", std::to_string(state.deviceStatus)},
                               {"Printer Status", std::to_string(state.printerStatus)},
                               {"Errors", std::to_string(state.errors)}});
  if (state.hasPageCount) lines->push_back({"Page Count", std::to_string(state.pageCount)});
}

DWORD GetStatus(const BYTE* input, DWORD inputSize, std::string* text) {
  PortEntry port = {};
  DWORD status = ReadPort(input, inputSize, &port);
  if (status != ERROR_SUCCESS) return status;
  PortStatus asked;
  PortStatusAsk(port, &asked);
  XcvSection section{kXcvStatusPrefix + std::string(port.portName),
                     {{"Printer", asked.printer}, {"Answers", Flag(asked.answers)},
                      {"Addresses", std::to_string(asked.addressCount)}}};
  std::vector<XcvSetting>& lines = section.settings;
  if (asked.answers && asked.address[0]) lines.push_back({"Address", asked.address});
  if (!asked.answers) lines.insert(lines.end(), {{"Error", std::to_string(asked.error)}, {"Reason", asked.reason}});
  if (asked.queueAsked) {
    lines.insert(lines.end(), {{"LPR Queue", port.lprQueue}, {"Queue Exists", Flag(asked.queueExists)},
                               {"Queue State", asked.queueLine}});
  }
  if (port.protocol == kProtocolTcp) AddSnmp(asked, &lines);
  *text = XcvFormatText({section});
  return ERROR_SUCCESS;
}

DWORD PrintTestPage(const BYTE* input, DWORD inputSize, std::string* text) {
  PortEntry port = {};
  DWORD status = ReadPort(input, inputSize, &port);
  if (status != ERROR_SUCCESS) return status;
  JobOutcome outcome;
  TestPagePrint(port.portName, &outcome);
  XcvSection section{kXcvTestPagePrefix + std::string(port.portName),
                     {{"Printed", Flag(outcome.printed)}, {"Printer", outcome.printer},
                      {"Bytes", std::to_string(outcome.documentBytes)}}};
  std::vector<XcvSetting>& lines = section.settings;
  if (outcome.hasPages) lines.push_back({"Pages", std::to_string(outcome.pages)});
  if (outcome.state[0]) lines.push_back({"State", outcome.state});
  if (!outcome.printed) lines.insert(lines.end(), {{"Error", std::to_string(outcome.error)}, {"Reason", outcome.reason}});
  *text = XcvFormatText({section});
  return ERROR_SUCCESS;
}

std::string AllSettings() {
  std::vector<XcvSection> sections;
  for (const PortEntry& port : StoredPorts()) sections.push_back(XcvPortSection(port));
  sections.push_back(XcvOptionsSection(StoreLogOptionsOrDefaults(MonitorKeyPath)));
  return XcvFormatText(sections);
}

// Runs a change on the input's one section, which must be of the command's kind.
DWORD RunChange(const BYTE* input, DWORD inputSize, DWORD (*change)(const XcvSection&), bool portSection) {
  XcvSection section;
  DWORD status = ReadSection(input, inputSize, &section);
  if (status != ERROR_SUCCESS) return status;
  std::string portName;
  if (XcvSectionPort(section, &portName) != portSection) return ERROR_INVALID_DATA;
  return change(section);
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

// One section of an import, checked and ready to store.
struct ImportStep {
  const XcvSection* section;
  bool isPort;
  PortChange port;
  LogOptions options;
};

// Checks the section as the change it stands for; the spooler's names were read once for all.
DWORD CheckImportStep(const XcvSection& section, const SpoolerPortNames& spooler, ImportStep* step) {
  std::string portName;
  *step = ImportStep{&section, XcvSectionPort(section, &portName), {}, {}};
  if (!step->isPort) return CheckOptions(section, &step->options);
  PortEntry stored = {};
  step->port = FindStoredPort(portName, &stored) ? ChangedPort(section, stored) : NewPort(section, portName);
  return CheckPortChange(&step->port, &spooler);
}

// The answer of an import: how many sections were stored, and the section that was refused or failed.
std::string ImportAnswer(size_t stored, const XcvSection* concerned) {
  std::string answer = "Stored=" + std::to_string(stored) + "\r\n";
  if (concerned) answer += "[" + XcvEscape(concerned->key) + "]\r\n";
  return answer;
}

// Checks every section, then stores every one, then the monitor's list takes the stored ports at once:
// a port whose key the import made as it stands, the others read back.
DWORD Import(const BYTE* input, DWORD inputSize, std::string* answer) {
  std::string text;
  std::vector<XcvSection> sections;
  DWORD status = ReadInput(input, inputSize, &text);
  if (status == ERROR_SUCCESS) status = XcvParseText(text, &sections);
  if (status != ERROR_SUCCESS) return status;
  ScopedSockets sockets;  // one start-up for every look-up of the import
  SpoolerPortNames spooler = ReadSpoolerPortNames();
  std::vector<ImportStep> steps(sections.size());
  for (size_t i = 0; i < sections.size(); ++i) {
    status = CheckImportStep(sections[i], spooler, &steps[i]);
    if (status == ERROR_SUCCESS) continue;
    *answer = ImportAnswer(0, &sections[i]);
    return status;
  }
  DWORD first = ERROR_SUCCESS;
  const XcvSection* failed = nullptr;
  size_t stored = 0;
  std::vector<std::string> written;
  std::vector<PortEntry> created;
  for (const ImportStep& step : steps) {
    PortEntry made = {};
    status = step.isPort ? StorePortChange(step.port, &made) : StoreOptions(*step.section, step.options);
    if (status == ERROR_SUCCESS) ++stored;
    if (status == ERROR_SUCCESS && made.portName[0]) created.push_back(made);
    if (status == ERROR_SUCCESS && step.isPort && !made.portName[0]) written.push_back(step.port.port.portName);
    if (status == ERROR_SUCCESS || failed) continue;
    first = status;
    failed = step.section;
  }
  RereadPorts(written);
  MergePortEntries(created.data(), created.size());
  *answer = ImportAnswer(stored, failed);
  return first;
}

// A read's answer that did not fit, kept for the handle that asked. The monitor keeps one: answers
// of other handles replace each other, which costs only a second reading of the store.
struct KeptAnswer {
  DWORD ticket;  // the handle's keptAnswer; 0 for none
  std::wstring command;
  std::vector<BYTE> input;
  std::string text;
  ULONGLONG madeAt;
};

SRWLOCK keptLock = SRWLOCK_INIT;
KeptAnswer keptAnswer;
DWORD lastTicket;

bool IsFresh(const KeptAnswer& answer) {
  return GetTickCount64() - answer.madeAt < kXcvKeptAnswerMs;
}

// Takes the handle's kept answer out of the monitor, so no later call finds it; an answer of
// another handle that is no longer fresh is freed meanwhile.
KeptAnswer TakeKeptAnswer(XcvHandle& handle) {
  KeptAnswer taken = {};
  AcquireSRWLockExclusive(&keptLock);
  if (keptAnswer.ticket && (keptAnswer.ticket == handle.keptAnswer || !IsFresh(keptAnswer))) {
    std::swap(taken, keptAnswer);
  }
  ReleaseSRWLockExclusive(&keptLock);
  if (taken.ticket != handle.keptAnswer) taken = {};
  handle.keptAnswer = 0;
  return taken;
}

void KeepAnswer(XcvHandle& handle, KeptAnswer answer) {
  AcquireSRWLockExclusive(&keptLock);
  if (++lastTicket == 0) ++lastTicket;
  answer.ticket = handle.keptAnswer = lastTicket;
  std::swap(keptAnswer, answer);
  ReleaseSRWLockExclusive(&keptLock);
}  // the answer it replaced is freed outside the lock

bool Answers(const KeptAnswer& answer, const WCHAR* command, const BYTE* input, DWORD inputSize) {
  return answer.ticket && IsFresh(answer) && answer.command == command && answer.input.size() == inputSize &&
         (inputSize == 0 || memcmp(answer.input.data(), input, inputSize) == 0);
}

// The text a read command answers.
DWORD ReadAnswer(const WCHAR* command, const BYTE* input, DWORD inputSize, std::string* text) {
  if (!wcscmp(command, kXcvMonitorUi)) {
    *text = kUiLibraryName;  // loaded in the administrator's process, from that machine's system directory
  } else if (!wcscmp(command, kXcvGetPort)) {
    return GetPort(input, inputSize, text);
  } else if (!wcscmp(command, kXcvGetPorts)) {
    *text = AllSettings();
  } else if (!wcscmp(command, kXcvGetStatus)) {
    return GetStatus(input, inputSize, text);
  } else if (!wcscmp(command, kXcvPrintTestPage)) {
    return PrintTestPage(input, inputSize, text);
  } else if (!wcscmp(command, kXcvGetOptions)) {
    *text = XcvFormatText({XcvOptionsSection(StoreLogOptionsOrDefaults(MonitorKeyPath))});
  } else {
    return ERROR_INVALID_PARAMETER;
  }
  return ERROR_SUCCESS;
}

// Runs a read, handing out the answer the handle's last call kept when it is the same read's.
DWORD RunRead(XcvHandle& handle, KeptAnswer answer, const WCHAR* command, const BYTE* input, DWORD inputSize,
              BYTE* output, DWORD outputSize, DWORD* outputNeeded) {
  if (!Answers(answer, command, input, inputSize)) {
    answer = {0, command, std::vector<BYTE>(input, input + inputSize), {}, 0};
    DWORD status = ReadAnswer(command, input, inputSize, &answer.text);
    if (status != ERROR_SUCCESS) return status;
    answer.madeAt = GetTickCount64();  // once made: asking a printer takes seconds
  }
  DWORD status = WriteOutput(answer.text, output, outputSize, outputNeeded);
  if (status == ERROR_INSUFFICIENT_BUFFER) KeepAnswer(handle, std::move(answer));
  return status;
}

}  // namespace

DWORD XcvRunCommand(XcvHandle& handle, const WCHAR* command, const BYTE* input, DWORD inputSize, BYTE* output,
                    DWORD outputSize, DWORD* outputNeeded) {
  KeptAnswer kept = TakeKeptAnswer(handle);  // whatever this call is, no later one finds it
  if (!command || !outputNeeded || (!input && inputSize) || (!output && outputSize)) return ERROR_INVALID_PARAMETER;
  *outputNeeded = 0;

  using Change = DWORD (*)(const BYTE*, DWORD);
  const struct {
    const WCHAR* name;
    Change run;
  } changes[] = {{kXcvAddPort, AddPortCommand}, {kXcvSetPort, SetPortCommand}, {kXcvDeletePort, DeletePort},
                 {kXcvSetOptions, SetOptionsCommand}};
  for (const auto& change : changes) {
    if (wcscmp(command, change.name) != 0) continue;
    if (!MayAdminister(handle)) return ERROR_ACCESS_DENIED;
    return change.run(input, inputSize);
  }
  if (!wcscmp(command, kXcvPrintTestPage) && !MayAdminister(handle)) return ERROR_ACCESS_DENIED;
  if (!wcscmp(command, kXcvImport)) {
    if (!MayAdminister(handle)) return ERROR_ACCESS_DENIED;
    std::string answer;
    DWORD status = Import(input, inputSize, &answer);
    if (!answer.empty()) WriteOutput(answer, output, outputSize, outputNeeded);  // left out when it does not fit
    return status;
  }
  return RunRead(handle, std::move(kept), command, input, inputSize, output, outputSize, outputNeeded);
}
