// What a printer tells of itself over SNMP (the Host Resources and Printer MIBs): its device and
// printer status, the errors it detects and its page counter; the same in words; and the memory of
// printers that did not answer, kept in the registry so that every process loading the monitor
// shares it. Asking never fails a job: a printer that does not answer is simply not known.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstddef>

#include "model/portentry.h"
#include "names/resolve.h"
#include "printer/snmp.h"

// hrDeviceStatus
constexpr DWORD kDeviceUnknown = 1, kDeviceRunning = 2, kDeviceWarning = 3, kDeviceTesting = 4, kDeviceDown = 5;
// hrPrinterStatus
constexpr DWORD kPrinterOther = 1, kPrinterUnknown = 2, kPrinterIdle = 3, kPrinterPrinting = 4, kPrinterWarmup = 5;

// hrPrinterDetectedErrorState, its first two octets as one number: the first octet's high bit is
// bit 15 (low paper), the second octet's low bit is bit 0.
enum PrinterError : DWORD {
  kErrorLowPaper = 0x8000,
  kErrorNoPaper = 0x4000,
  kErrorLowToner = 0x2000,
  kErrorNoToner = 0x1000,
  kErrorDoorOpen = 0x0800,
  kErrorJammed = 0x0400,
  kErrorOffline = 0x0200,
  kErrorServiceRequested = 0x0100,
  kErrorInputTrayMissing = 0x0080,
  kErrorOutputTrayMissing = 0x0040,
  kErrorMarkerSupplyMissing = 0x0020,
  kErrorOutputNearFull = 0x0010,
  kErrorOutputFull = 0x0008,
  kErrorInputTrayEmpty = 0x0004,
  kErrorOverduePreventMaint = 0x0002,
};

// Each value is 0 (and hasPageCount false) when the agent did not give it.
struct PrinterState {
  bool answered;       // an agent answered the request
  DWORD deviceStatus;  // hrDeviceStatus
  DWORD printerStatus; // hrPrinterStatus
  DWORD errors;        // PrinterError bits
  bool hasPageCount;
  DWORD pageCount;     // prtMarkerLifeCount of the first marker
};

// Where and how a port's printer is asked: the address (with the SNMP port set), the community and
// the device index, from the port's optional values and their defaults.
struct PrinterAgent {
  sockaddr_storage address;
  char community[kSnmpCommunitySize];
  DWORD deviceIndex;
};

constexpr DWORD kSnmpDefaultPort = 161;
constexpr char kSnmpDefaultCommunity[] = "public";
constexpr DWORD kSnmpDefaultDeviceIndex = 1;
// The longest an agent is waited for: the request goes out again once halfway.
constexpr DWORD kSnmpWaitMs = 1000;
// How long a printer that did not answer is left unasked by jobs.
constexpr DWORD kSnmpSilenceMs = 5 * 60 * 1000;

// Whether the port's printer is asked at all: a TCP/IP port whose "SNMP Status" is not False.
bool PrinterStateWanted(const PortEntry& port);

// The agent of the port's printer at `printerAddress` (an address a job connected to or tried; its
// TCP port is replaced by the port's SNMP port).
PrinterAgent PrinterAgentFor(const PortEntry& port, const sockaddr_storage& printerAddress);

// Asks the agent with one GET (SNMPv2c and SNMPv1 at once, the first sound answer taken), waiting
// `waitMs` at most. Answers true with *state filled when an agent answered; false when none did
// within the wait (state->answered false). Never waits longer, never changes the silence memory.
bool PrinterStateAsk(const PrinterAgent& agent, DWORD waitMs, PrinterState* state);

// As PrinterStateAsk, for jobs: an agent that did not answer within kSnmpWaitMs is remembered
// under `monitorKeyPath` and left unasked (false at once) for kSnmpSilenceMs; one that answers is
// forgotten there.
bool PrinterStateAskForJob(const char* monitorKeyPath, const PrinterAgent& agent, PrinterState* state);

// PrinterStateAskForJob in two steps, so that a job goes on while the agent answers: Ask sends the
// question (unless the memory says the agent is silent), Answer takes the answer that came
// meanwhile, else waits what is left of kSnmpWaitMs, and keeps the memory. Asked again, the same
// agent is asked on the same socket.
class PrinterQuestion {
public:
  void Ask(const char* monitorKeyPath, const PrinterAgent& agent);
  bool Answer(PrinterState* state);  // once per Ask; false when the agent was not asked or did not answer

private:
  ScopedSockets sockets_;  // declared first: the sockets stop after the exchange's socket closed
  const char* keyPath_ = nullptr;
  PrinterAgent agent_ = {};
  bool remembered_ = false;  // the memory held the agent when it was asked
  bool asked_ = false;
  SnmpExchange exchange_;
};

// The state in words, for events, the port's status and vtlpmport: the detected errors, most
// serious first ("paper out, door open"; the conditions that stop printing before the warnings),
// else the device's status when it is not running ("down", "warning", "testing", "unknown"), else
// "ready" / "printing" / "warming up"; "" when nothing answered. Writes at most `size` bytes, NUL
// included.
void PrinterStateWords(const PrinterState& state, char* text, size_t size);

// Whether the state names a problem that keeps the printer from printing: a device that is down,
// or an error bit other than the warnings ("low" paper or toner, output bin "near full", one input
// tray empty, service requested, maintenance overdue: a printer prints on through these).
bool PrinterStateBlocks(const PrinterState& state);
