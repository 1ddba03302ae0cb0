// How a port's printer is now, asked the way its jobs reach it, for the administrator: whether it
// answers and at which address, an LPR queue's short state, and what the printer tells of itself
// over SNMP. Asking sends no job and waits a few seconds at most.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include "model/portentry.h"
#include "printer/printerstate.h"

// The longest a printer is waited for, unless the port's send timeout is shorter.
constexpr DWORD kStatusWaitMs = 3000;
// The most of an LPR queue's answer that is read; the rest is left unread.
constexpr DWORD kStatusMaxAnswerBytes = 4096;

struct PortStatus {
  char printer[512];                  // the printer as events name it
  bool answers;                       // TCP/IP: an address took the connection; VTLnet: the node was reached
  DWORD addressCount;                 // TCP/IP: the printer's addresses
  char address[INET6_ADDRSTRLEN];     // the one that answered
  DWORD error;                        // when the printer does not answer: the error and its account
  char reason[160];
  // LPR ports ("LPR Queue" set), asked when the printer answers. The queue exists unless the printer
  // sent nothing before it closed, or its first line says the queue is unknown ("unknown", "no such",
  // "not exist", "not found" or "invalid", in any case).
  bool queueAsked;
  bool queueExists;
  char queueLine[160];                // the first line of the answer, sanitised
  // SNMP, asked at the address that answered, else the first one, when the port wants it.
  bool snmpWanted;
  PrinterState state;
  char stateWords[160];
};

// Asks the port's printer how it is; the record is filled whatever the answer.
void PortStatusAsk(const PortEntry& port, PortStatus* status);
