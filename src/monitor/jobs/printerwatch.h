// The printer's own account of a job, over SNMP: its page counter before and after, and its state
// in words when the job fails or the printer reports a problem. The state is shown as the port's
// status in the print spooler while it lasts. Nothing here fails or holds back a job: a printer
// that does not answer costs one bounded wait, then is left unasked for a while.
#pragma once

#include <cstddef>

#include "jobs/deliveryway.h"
#include "model/portentry.h"
#include "printer/printerstate.h"

struct PrinterWatch {
  bool wanted;      // the port asks its printer, and the way knows the printer's address
  PrinterAgent agent;
  PrinterState before;
};

// At the job's start, once the way reached (or tried to reach) the printer: finds the printer's
// agent; when the printer was reached, asks its state and page counter and shows a problem as the
// port's status (a failure is explained by WatchJobFailure).
void WatchJobStart(const PortEntry& port, DeliveryWay& way, bool reached, PrinterWatch* watch);

// After a failure: the printer's state in words ("paper out, door open"), asked now, also shown as
// the port's status; "" when the printer tells nothing.
void WatchJobFailure(const PortEntry& port, PrinterWatch* watch, char* words, size_t size);

// After a delivered job: clears the port's status and answers true with the pages the printer's
// counter advanced by, when it answered before and after.
bool WatchJobDelivered(const PortEntry& port, PrinterWatch* watch, DWORD* pages);
