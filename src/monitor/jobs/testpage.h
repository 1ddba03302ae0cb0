// The test page: one PostScript page that names the port, its printer and its options, printed
// through the port's own job path, so that the banner page and the trays apply and the job's events
// are reported as for any job.
#pragma once

#include <string>

#include "jobs/portjob.h"
#include "model/portentry.h"

// The page's PostScript for the port, stamped with `time`; every text from the port is sanitised.
std::string TestPageProgram(const PortEntry& port, const char* time);

// Prints the test page of the stored port named `portName` (exactly as stored) and tells in
// *outcome how the job went; when the port cannot even be opened, its error with the job's words.
void TestPagePrint(const char* portName, JobOutcome* outcome);
