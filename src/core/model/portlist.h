// The monitor: its port list, guarded by one lock, and the entry points the print subsystem and
// the program call. Entry points answer a boolean; on false the last-error code is normalised.
#pragma once

#include <windows.h>

#include "model/portentry.h"

// Module state, valid once MonitorInitialize has succeeded. MonitorLogOptions is written under
// the list's lock only (MonitorSetLogOptions); other threads read it with MonitorGetLogOptions.
extern char* MonitorKeyPath;
extern LogOptions MonitorLogOptions;

void MonitorGetLogOptions(LogOptions* options);
void MonitorSetLogOptions(const LogOptions* options);

// Registers the event source, reads the logging options and loads every port of the key path
// (null or empty: the default path). Initialising again first shuts the module down.
BOOL MonitorInitialize(const char* keyPath);

// Frees the list, the key path and the lock; the module is uninitialised afterwards.
void MonitorShutdown();

// Hands the ports out as level-1 records (PORT_INFO_1A: the name) or level-2 records (PORT_INFO_2A:
// name, monitor name, description, PORT_TYPE_WRITE), texts packed from the buffer's end. Reloads
// the list first when the store's "Update" flag is set. Fails with 122 when the buffer is too
// small (needed tells the size) and with 124 at once for another level.
BOOL MonitorEnumPorts(const char* serverName, DWORD level, BYTE* buffer, DWORD bufferSize, DWORD* needed,
                      DWORD* returned);

struct PortJob;  // the job on a handle, kept by the job entry points (jobs/portjob.h)

// What a port handle holds: the port as it stood when it was opened, copied under the lock, so
// that no reload or delete on another thread can pull it away while the handle is in use.
struct OpenPort {
  PortEntry port;  // next is null
  PortJob* job;    // null until the first job starts
};

// Answers a new OpenPort for the named port as its handle (MonitorClosePort, in jobs/portjob.h,
// frees it). A name the list does not hold is looked up again after the list is read anew from
// the store; EVT_PORT_NOT_FOUND is reported when there is still none.
BOOL MonitorOpenPort(const char* portName, HANDLE* handle);

// Reads the handle's port again from the store, so that a job goes where the store says now,
// whatever the list in memory holds. When the port's key is gone: EVT_PORT_NOT_FOUND, FALSE with
// ERROR_UNKNOWN_PORT; when the store cannot be read, the handle keeps the settings it had.
BOOL MonitorRefreshOpenPort(struct OpenPort* open);

// List operations. Names match exactly (case-sensitive); lookups take the first match from the
// head. All fail (null or FALSE) when the monitor is not initialised.
// FindPortEntry's node stays valid only while no other thread changes the list: an operation
// that keeps a port across a dialog, a message box or a release of the lock takes a copy.
PortEntry* FindPortEntry(const char* portName);
// Copies the named port's node under the lock (next set to null); FALSE when there is none.
BOOL CopyPortEntry(const char* portName, PortEntry* copy);
BOOL AddPortEntry(PortEntry* entry);     // the list owns the node from now on
// Overwrites the named port's node with `changed` (its link stays); FALSE when there is none.
BOOL ReplacePortEntry(const char* portName, const PortEntry* changed);
BOOL RemovePortEntry(const char* portName);  // unlinks and frees the first match
// Reads the named ports (in any case) again from the store into the list, under one hold of the
// lock: each replaces the node of its stored name or is added; one that no longer reads leaves the
// list. Costs the same per port whatever the number of ports; FALSE when not initialised.
BOOL RereadPortEntries(const char* const* portNames, size_t count);
// Puts copies of ports just stored into the list under one hold of the lock, each replacing the node
// of its name or added, as RereadPortEntries does without reading them; FALSE when not initialised.
BOOL MergePortEntries(const PortEntry* ports, size_t count);
BOOL ReloadPortList();

constexpr DWORD kOffsetTableEnd = 0xFFFFFFFF;

// Last-error code of a failed entry point: 0 becomes 1, then anything above 1900 becomes 59.
void NormalizeLastError();
