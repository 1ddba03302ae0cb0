// The printer's own account of a job, over SNMP: its page counter when the job reached it and once
// it took every byte, and its state in words when the job fails. A problem the printer reports is
// shown as the port's status in the print spooler while it lasts. Nothing here fails or holds back
// a job: the first question goes out when the job reached the printer and its answer is read at the
// job's end; a printer that does not answer costs one bounded wait, then is left unasked a while.
#pragma once

#include <cstddef>

#include "jobs/deliveryway.h"
#include "model/portentry.h"
#include "printer/printerstate.h"

struct PrinterWatch {
  bool wanted;  // the port asks its printer, and the way knows the printer's address
  PrinterAgent agent;
  PrinterQuestion* question;  // owned: the job's questions, the start's until its answer is read
};

// At the job's start, once the way reached (or tried to reach) the printer: finds the printer's
// agent and, when the printer was reached, asks it its page counter.
void WatchJobStart(const PortEntry& port, DeliveryWay& way, bool reached, PrinterWatch* watch);

// After a failure: the printer's state in words ("paper out, door open"), asked now, also shown as
// the port's status; "" when the printer tells nothing.
void WatchJobFailure(const PortEntry& port, PrinterWatch* watch, char* words, size_t size);

// After a delivered job: clears the port's status (and shows a warning that lasts) and answers true
// with the pages the printer's counter advanced by, when it answered at the start and now.
bool WatchJobDelivered(const PortEntry& port, PrinterWatch* watch, DWORD* pages);

// Lets go of what the watch holds; the watch is empty afterwards.
void WatchJobEnd(PrinterWatch* watch);
