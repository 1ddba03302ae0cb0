#include "printer/printerstate.h"

#include <cstdio>
#include <cstring>

#include "base/scoped.h"
#include "printer/snmp.h"

namespace {

enum AskedValue { kAskedDevice, kAskedPrinter, kAskedErrors, kAskedPages, kAskedCount };

// The words of the error bits, stop conditions first, then the warnings.
struct ErrorWords {
  DWORD bit;
  const char* words;
};
constexpr ErrorWords kErrorWords[] = {
    {kErrorNoPaper, "paper out"}, {kErrorNoToner, "toner out"}, {kErrorDoorOpen, "door open"},
    {kErrorJammed, "paper jam"}, {kErrorOffline, "offline"}, {kErrorInputTrayMissing, "input tray missing"},
    {kErrorOutputTrayMissing, "output tray missing"}, {kErrorMarkerSupplyMissing, "marker supply missing"},
    {kErrorOutputFull, "output bin full"}, {kErrorLowPaper, "paper low"}, {kErrorLowToner, "toner low"},
    {kErrorOutputNearFull, "output bin nearly full"}, {kErrorInputTrayEmpty, "input tray empty"},
    {kErrorServiceRequested, "service requested"}, {kErrorOverduePreventMaint, "maintenance overdue"},
};
constexpr DWORD kWarnings = kErrorLowPaper | kErrorLowToner | kErrorOutputNearFull | kErrorInputTrayEmpty |
                            kErrorServiceRequested | kErrorOverduePreventMaint;

BerOid Oid(std::initializer_list<DWORD> arcs, DWORD index, bool firstMarker = false) {
  BerOid oid = {};
  for (DWORD arc : arcs) oid.arcs[oid.count++] = arc;
  oid.arcs[oid.count++] = index;
  if (firstMarker) oid.arcs[oid.count++] = 1;
  return oid;
}

DWORD Status(const SnmpValue& value) {
  return value.tag == kBerInteger && value.number > 0 && value.number <= 0xFFFF ? static_cast<DWORD>(value.number) : 0;
}

// The first two octets of hrPrinterDetectedErrorState; a one-octet string holds the first only.
DWORD Errors(const SnmpValue& value) {
  if (value.tag != kBerOctetString || value.size == 0) return 0;
  return (static_cast<DWORD>(value.bytes[0]) << 8) | (value.size > 1 ? value.bytes[1] : 0);
}

std::string SilenceName(const sockaddr_storage& address) {
  char host[INET6_ADDRSTRLEN] = "";
  const bool v6 = address.ss_family == AF_INET6;
  const void* raw = v6 ? static_cast<const void*>(&reinterpret_cast<const sockaddr_in6*>(&address)->sin6_addr)
                       : static_cast<const void*>(&reinterpret_cast<const sockaddr_in*>(&address)->sin_addr);
  inet_ntop(address.ss_family, const_cast<void*>(raw), host, sizeof host);
  unsigned short port = ntohs(v6 ? reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port
                                 : reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
  char name[INET6_ADDRSTRLEN + 16];
  snprintf(name, sizeof name, v6 ? "[%s]:%u" : "%s:%u", host, port);
  return name;
}

// The silence memory's key; made (volatile: it goes with the system's restart) only when asked to.
bool OpenSilence(const char* monitorKeyPath, bool make, HKEY* key) {
  std::string path = std::string(monitorKeyPath) + "\\SNMP Silence";
  const REGSAM access = KEY_QUERY_VALUE | KEY_SET_VALUE;
  LONG result = make ? RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_VOLATILE, access,
                                       nullptr, key, nullptr)
                     : RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, access, key);
  return result == ERROR_SUCCESS;
}

}  // namespace

bool PrinterStateWanted(const PortEntry& port) { return port.protocol == kProtocolTcp && port.snmpStatus != 0; }

PrinterAgent PrinterAgentFor(const PortEntry& port, const sockaddr_storage& printerAddress) {
  PrinterAgent agent = {};
  agent.address = printerAddress;
  const DWORD number = port.snmpPortNumber ? port.snmpPortNumber : kSnmpDefaultPort;
  const unsigned short snmpPort = htons(static_cast<unsigned short>(number));
  if (printerAddress.ss_family == AF_INET6) {
    reinterpret_cast<sockaddr_in6*>(&agent.address)->sin6_port = snmpPort;
  } else {
    reinterpret_cast<sockaddr_in*>(&agent.address)->sin_port = snmpPort;
  }
  const char* community = port.snmpCommunity[0] ? port.snmpCommunity : kSnmpDefaultCommunity;
  snprintf(agent.community, sizeof agent.community, "%s", community);
  agent.deviceIndex = port.snmpDeviceIndex ? port.snmpDeviceIndex : kSnmpDefaultDeviceIndex;
  return agent;
}

namespace {

// The values a printer is asked for, in the order of AskedValue.
void AskedOids(DWORD index, BerOid* oids) {
  oids[kAskedDevice] = Oid({1, 3, 6, 1, 2, 1, 25, 3, 2, 1, 5}, index);
  oids[kAskedPrinter] = Oid({1, 3, 6, 1, 2, 1, 25, 3, 5, 1, 1}, index);
  oids[kAskedErrors] = Oid({1, 3, 6, 1, 2, 1, 25, 3, 5, 1, 2}, index);
  oids[kAskedPages] = Oid({1, 3, 6, 1, 2, 1, 43, 10, 2, 1, 4}, index, true);
}

void ReadState(const SnmpResponse& response, PrinterState* state) {
  state->answered = true;
  state->deviceStatus = Status(response.values[kAskedDevice]);
  state->printerStatus = Status(response.values[kAskedPrinter]);
  state->errors = Errors(response.values[kAskedErrors]);
  const SnmpValue& pages = response.values[kAskedPages];
  state->hasPageCount = pages.tag == kBerCounter32 || pages.tag == kBerCounter64;
  state->pageCount = state->hasPageCount ? static_cast<DWORD>(pages.number) : 0;
}

}  // namespace

bool PrinterStateAsk(const PrinterAgent& agent, DWORD waitMs, PrinterState* state) {
  *state = {};
  BerOid oids[kAskedCount];
  AskedOids(agent.deviceIndex, oids);
  SnmpResponse response;
  if (!SnmpGet(agent.address, agent.community, oids, kAskedCount, waitMs, &response)) return false;
  ReadState(response, state);
  return true;
}

void PrinterQuestion::Ask(const char* monitorKeyPath, const PrinterAgent& agent) {
  keyPath_ = monitorKeyPath;
  agent_ = agent;
  ScopedKey silence;
  if (OpenSilence(monitorKeyPath, false, silence.out())) {
    ULONGLONG until = 0;
    DWORD size = sizeof until;
    remembered_ = RegQueryValueExA(silence.get(), SilenceName(agent.address).c_str(), nullptr, nullptr,
                                   reinterpret_cast<BYTE*>(&until), &size) == ERROR_SUCCESS;
    if (remembered_ && size == sizeof until && GetTickCount64() < until) return;
  }
  BerOid oids[kAskedCount];
  AskedOids(agent.deviceIndex, oids);
  asked_ = exchange_.Start(agent.address, agent.community, oids, kAskedCount, kSnmpWaitMs);
}

bool PrinterQuestion::Answer(PrinterState* state) {
  *state = {};
  if (!asked_) return false;
  asked_ = false;
  SnmpResponse response;
  bool answered = exchange_.Finish(&response);
  if (answered) ReadState(response, state);
  ScopedKey silence;
  if ((answered && !remembered_) || !OpenSilence(keyPath_, !answered, silence.out())) return answered;
  const std::string name = SilenceName(agent_.address);
  if (answered) {
    RegDeleteValueA(silence.get(), name.c_str());
    return true;
  }
  ULONGLONG until = GetTickCount64() + kSnmpSilenceMs;
  RegSetValueExA(silence.get(), name.c_str(), 0, REG_QWORD, reinterpret_cast<const BYTE*>(&until), sizeof until);
  return false;
}

bool PrinterStateAskForJob(const char* monitorKeyPath, const PrinterAgent& agent, PrinterState* state) {
  PrinterQuestion question;
  question.Ask(monitorKeyPath, agent);
  return question.Answer(state);
}

static std::string Words(const PrinterState& state) {
  if (!state.answered) return "";
  std::string words;
  for (const ErrorWords& error : kErrorWords) {
    if (state.errors & error.bit) words += (words.empty() ? "" : ", ") + std::string(error.words);
  }
  if (!words.empty()) return words;
  switch (state.deviceStatus) {
  case kDeviceUnknown: return "unknown";
  case kDeviceWarning: return "warning";
  case kDeviceTesting: return "testing";
  case kDeviceDown: return "down";
  }
  return state.printerStatus == kPrinterPrinting ? "printing" : state.printerStatus == kPrinterWarmup ? "warming up"
                                                                                                        : "ready";
}

void PrinterStateWords(const PrinterState& state, char* text, size_t size) {
  if (size) snprintf(text, size, "%s", Words(state).c_str());
}

bool PrinterStateBlocks(const PrinterState& state) {
  return state.answered && ((state.errors & ~kWarnings) != 0 || state.deviceStatus == kDeviceDown);
}
