// The monitor's job entry points: a port handle from MonitorOpenPort carries one job at a time to
// the port's printer, with the port's options applied. Each handle keeps its own job, so ports
// print at once from several threads and two jobs never share a connection. Entry points answer
// a boolean; on false the last-error code is normalised (see NormalizeLastError).
#pragma once

#include <windows.h>

// Starts a job (document information of level 1 or 2, ANSI): reads the logging options, then
// reaches the printer. Raw: connected to the printer's TCP port. LPR: connected to port 515 and
// the queue accepted. Fails with the socket's error, reported with EVT_JOB_NO_PRINTER.
BOOL MonitorStartDocPort(HANDLE port, const char* printerName, DWORD jobId, DWORD level, BYTE* docInfo);

// Sends the document's bytes (a PostScript job with its wrapping in front of its PostScript);
// *written counts the bytes that went out (LPR: were spooled) or are held back until their place
// in the wrapping is known (the first bytes, a wrapped job's last ones; EndDocPort sends them).
// Fails when the printer is lost or takes nothing within the port's send timeout, reported with
// EVT_JOB_LOST.
BOOL MonitorWritePort(HANDLE port, BYTE* buffer, DWORD size, DWORD* written);

// Not supported: Pressmark printers send nothing back that a job needs.
BOOL MonitorReadPort(HANDLE port, BYTE* buffer, DWORD size, DWORD* read);

// Finishes the job: sends the trailer of a wrapped job (LPR: the data and control files), then
// waits within the send timeout for the printer to close its side. TRUE only when the printer
// took every byte; a job that failed before fails here too.
BOOL MonitorEndDocPort(HANDLE port);

// Ends a job still running without delivering it and releases the handle.
BOOL MonitorClosePort(HANDLE port);
