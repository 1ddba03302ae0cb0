// A port's status: the printer reached as a job reaches it, an LPR queue asked its short state on
// that connection, the printer asked over SNMP; then let go.
#include "jobs/portstatus.h"

#include <cstring>
#include <memory>
#include <string>

#include "base/text.h"
#include "jobs/connection.h"
#include "jobs/deliveryway.h"
#include "jobs/jobtext.h"
#include "jobs/lpr.h"
#include "names/resolve.h"

namespace {

// The status's wait: kStatusWaitMs, or the port's send timeout when that is shorter.
DWORD WaitFor(const PortEntry& port) {
  DWORD seconds = port.sendTimeout;
  return seconds && seconds < kStatusWaitMs / 1000 ? seconds * 1000 : kStatusWaitMs;
}

void SetFailure(PortStatus* status, DWORD error, const char* reason) {
  status->error = error;
  lstrcpynA(status->reason, reason ? reason : JobReasonText(error), sizeof status->reason);
}

// The address that took the connection, as numbers.
void AddressOf(SOCKET connection, PortStatus* status, sockaddr_storage* peer) {
  int length = sizeof *peer;
  if (getpeername(connection, reinterpret_cast<sockaddr*>(peer), &length) != 0) return;
  void* number = peer->ss_family == AF_INET6 ? static_cast<void*>(&reinterpret_cast<sockaddr_in6*>(peer)->sin6_addr)
                                             : static_cast<void*>(&reinterpret_cast<sockaddr_in*>(peer)->sin_addr);
  inet_ntop(peer->ss_family, number, status->address, sizeof status->address);
}

// Whether a queue's first line says that the printer has no such queue.
bool SaysUnknownQueue(const char* line) {
  std::string folded = line;
  CharLowerBuffA(folded.data(), static_cast<DWORD>(folded.size()));
  for (const char* words : {"unknown", "no such", "not exist", "not found", "invalid"}) {
    if (folded.find(words) != std::string::npos) return true;
  }
  return false;
}

// Sends the short queue state command and reads the answer until the printer closes, within the
// wait and kStatusMaxAnswerBytes.
void AskQueue(const PortEntry& port, SOCKET connection, DWORD waitMs, PortStatus* status) {
  std::string command = LprQueueStateCommand(port.lprQueue);
  DWORD sent = 0;
  if (ConnSend(connection, command.data(), static_cast<DWORD>(command.size()), nullptr, &sent)) return;
  status->queueAsked = true;
  std::string answer;
  ULONGLONG until = GetTickCount64() + waitMs;
  for (DWORD received = 1; received && answer.size() < kStatusMaxAnswerBytes && GetTickCount64() < until;) {
    char chunk[512];
    DWORD left = static_cast<DWORD>(until - GetTickCount64());
    if (ConnReceive(connection, chunk, sizeof chunk, left ? left : 1, &received)) break;
    answer.append(chunk, received);
  }
  JobSanitizeText(answer.substr(0, answer.find('\n')).c_str(), status->queueLine, sizeof status->queueLine);
  status->queueExists = !answer.empty() && !SaysUnknownQueue(status->queueLine);
}

// The printer's own state over SNMP at `address`, when the port wants it asked.
void AskPrinterState(const PortEntry& port, const sockaddr_storage& address, PortStatus* status) {
  status->snmpWanted = PrinterStateWanted(port);
  if (!status->snmpWanted) return;
  PrinterStateAsk(PrinterAgentFor(port, address), kSnmpWaitMs, &status->state);
  PrinterStateWords(status->state, status->stateWords, sizeof status->stateWords);
}

void AskTcpPrinter(const PortEntry& port, PortStatus* status) {
  ScopedSockets sockets;
  if (!sockets.started()) return SetFailure(status, WSASYSNOTREADY, nullptr);
  bool lpr = port.lprQueue[0] != '\0';
  ConnPrinter printer = {};
  DWORD error = ConnLocate(port, lpr ? kLprPort : kRawPort, "", &printer, status->printer, sizeof status->printer);
  status->addressCount = static_cast<DWORD>(printer.count);
  if (error) return SetFailure(status, error, nullptr);  // no address to ask over SNMP either
  DWORD waitMs = WaitFor(port);
  SOCKET connection = INVALID_SOCKET;
  error = lpr ? ConnOpenLpr(printer, waitMs, &connection) : ConnOpen(printer, false, false, waitMs, &connection);
  sockaddr_storage asked = printer.addresses[0];
  status->answers = error == 0;
  if (error) {
    SetFailure(status, error, error == WSAETIMEDOUT ? "the printer did not answer in time" : nullptr);
  } else {
    AddressOf(connection, status, &asked);
    if (lpr) AskQueue(port, connection, waitMs, status);
  }
  ConnClose(&connection);
  AskPrinterState(port, asked, status);
}

void AskVnetNode(const PortEntry& port, PortStatus* status) {
  std::unique_ptr<DeliveryWay> way(NewVnetWay());
  if (!way) return SetFailure(status, ERROR_NOT_ENOUGH_MEMORY, "not enough memory");
  const char* reason = nullptr;
  WayJob job = {&port, WaitFor(port), 0, "status", ""};
  DWORD error = way->Reach(job, status->printer, sizeof status->printer, &reason);
  way->Abandon();
  status->answers = error == 0;
  if (error) SetFailure(status, error, reason);
}

}  // namespace

void PortStatusAsk(const PortEntry& port, PortStatus* status) {
  *status = PortStatus{};
  if (port.protocol == kProtocolVnet) return AskVnetNode(port, status);
  AskTcpPrinter(port, status);
}
