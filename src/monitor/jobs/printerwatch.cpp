#include "jobs/printerwatch.h"

#include <winspool.h>

#include <new>
#include <string>

#include "model/portlist.h"

namespace {

using SetPortFunction = BOOL(WINAPI*)(LPWSTR server, LPWSTR port, DWORD level, LPBYTE info);

// The spooler's SetPortW, where it has one: Wine's has none.
SetPortFunction SpoolerSetPort() {
  HMODULE winspool = GetModuleHandleA("winspool.drv");
  FARPROC found = winspool ? GetProcAddress(winspool, "SetPortW") : nullptr;
  return reinterpret_cast<SetPortFunction>(reinterpret_cast<void*>(found));
}

// The port's status in the spooler: the printer's problem in words, or none. The spooler shows a
// status text when its code is 0.
void ShowPortStatus(const char* portName, const char* words, DWORD severity) {
  SetPortFunction setPort = SpoolerSetPort();
  if (!setPort) return;
  WCHAR port[kPortNameSize];
  WCHAR text[160];
  if (!MultiByteToWideChar(CP_ACP, 0, portName, -1, port, kPortNameSize)) return;
  PORT_INFO_3W status = {0, nullptr, severity};
  if (words && *words && MultiByteToWideChar(CP_ACP, 0, words, -1, text, ARRAYSIZE(text))) status.pszStatus = text;
  setPort(nullptr, port, 3, reinterpret_cast<BYTE*>(&status));
}

// Shows the printer's problem, when it reports one, as the port's status.
void ShowState(const PortEntry& port, const PrinterState& state) {
  bool problem = state.errors || state.deviceStatus == kDeviceWarning || state.deviceStatus == kDeviceDown;
  if (!problem) return;
  char words[160];
  PrinterStateWords(state, words, sizeof words);
  ShowPortStatus(port.portName, words, PrinterStateBlocks(state) ? PORT_STATUS_TYPE_ERROR : PORT_STATUS_TYPE_WARNING);
}

// Asks the printer now, on the job's question (made when there is none yet).
bool AskNow(PrinterWatch* watch, PrinterState* state) {
  *state = PrinterState{};
  if (!watch->wanted || (!watch->question && !(watch->question = new (std::nothrow) PrinterQuestion))) return false;
  watch->question->Ask(MonitorKeyPath, watch->agent);
  return watch->question->Answer(state);
}

// The answer to the start's question; false when it was not asked or not answered.
bool StartAnswer(PrinterWatch* watch, PrinterState* state) {
  *state = PrinterState{};
  return watch->question && watch->question->Answer(state);
}

}  // namespace

void WatchJobStart(const PortEntry& port, DeliveryWay& way, bool reached, PrinterWatch* watch) {
  WatchJobEnd(watch);
  sockaddr_storage address;
  if (!PrinterStateWanted(port) || !way.PrinterAddress(&address)) return;
  watch->wanted = true;
  watch->agent = PrinterAgentFor(port, address);
  if (reached && (watch->question = new (std::nothrow) PrinterQuestion)) {
    watch->question->Ask(MonitorKeyPath, watch->agent);
  }
}

void WatchJobFailure(const PortEntry& port, PrinterWatch* watch, char* words, size_t size) {
  if (size) *words = '\0';
  PrinterState now;
  StartAnswer(watch, &now);  // the memory learns whether the agent answers
  if (!AskNow(watch, &now)) return;
  PrinterStateWords(now, words, size);
  ShowState(port, now);
}

bool WatchJobDelivered(const PortEntry& port, PrinterWatch* watch, DWORD* pages) {
  if (!watch->wanted) return false;
  ShowPortStatus(port.portName, nullptr, PORT_STATUS_TYPE_INFO);  // a job went through: what stopped it is over
  PrinterState before, after;
  bool counted = StartAnswer(watch, &before) && before.hasPageCount;
  if (!AskNow(watch, &after)) return false;
  ShowState(port, after);  // a warning that lasts, such as toner low
  if (!counted || !after.hasPageCount) return false;
  *pages = after.pageCount - before.pageCount;  // a counter that wrapped still counts right
  return true;
}

void WatchJobEnd(PrinterWatch* watch) {
  delete watch->question;
  *watch = PrinterWatch{};
}
