// The monitor's job entry points: a port handle from MonitorOpenPort carries one job at a time to
// the port's printer, with the port's options applied. Each handle keeps its own job, so ports
// print at once from several threads and two jobs never share a connection. Entry points answer
// a boolean; on false the last-error code is normalised (see NormalizeLastError).
#pragma once

#include <windows.h>

// Starts a job (document information of level 1 or 2, ANSI): reads the logging options, then
// reaches the printer. Raw: connected to the printer's TCP port. LPR: the printer at port 515 and
// its queue accepted a job (that connection is not kept), and the job's owner taken from the
// spooler (`printerName` and `jobId`; this process's user without them). Fails with the socket's
// error, reported with EVT_JOB_NO_PRINTER.
BOOL MonitorStartDocPort(HANDLE port, const char* printerName, DWORD jobId, DWORD level, BYTE* docInfo);

// Sends the document's bytes (a PostScript job with its wrapping in front of its PostScript);
// *written counts the bytes that went out (LPR: were spooled) or are held back until their place
// in the wrapping is known (the first bytes, a wrapped job's last ones; EndDocPort sends them).
// Fails when the printer closed or reset the connection or took nothing within the port's send
// timeout, reported with EVT_JOB_LOST.
BOOL MonitorWritePort(HANDLE port, BYTE* buffer, DWORD size, DWORD* written);

// Not supported: Pressmark printers send nothing back that a job needs.
BOOL MonitorReadPort(HANDLE port, BYTE* buffer, DWORD size, DWORD* read);

// Finishes the job: sends the trailer of a wrapped job. Raw: fails when the printer closed its
// side before, else waits within the send timeout for the printer to close its side. LPR: sends
// the data and control files on a connection of its own and is done once the printer acknowledged
// the control file; an empty job sends nothing. TRUE only when the printer took every byte; a job
// that failed before fails here too. On failure the last-error code is the job's own (normalised).
BOOL MonitorEndDocPort(HANDLE port);

// What the handle's last job came to, once it ended (for a test page): whether the printer took
// every byte, the job's error code and an account of it, the printer as events name it, the bytes
// of the document that went out, the pages the printer counted for it and the printer's state in
// words when it told them (else empty). False when the handle has run no job or one still runs.
struct JobOutcome {
  bool printed;
  DWORD error;
  char reason[160];
  char printer[512];
  unsigned long long documentBytes;
  bool hasPages;
  DWORD pages;
  char state[160];
};
bool MonitorJobOutcome(HANDLE port, JobOutcome* outcome);

// Ends a job still running without delivering it and releases the handle.
BOOL MonitorClosePort(HANDLE port);
