// The registry store: the monitor's configuration under HKEY_LOCAL_MACHINE\<monitor key path>.
// Every operation opens the keys it needs and closes them before it returns; a failing registry
// call leaves its error code as the thread's last-error code.
#pragma once

#include <windows.h>

#include "model/portentry.h"

// Key access for writing. The monitor key must exist; "Ports" and "Options" are created when
// missing. The readers below open their keys for reading only.
BOOL StoreOpenMonitorKey(const char* keyPath, HKEY* key);
BOOL StoreOpenPortsKey(const char* keyPath, HKEY* key);
BOOL StoreOpenOptionsKey(const char* keyPath, HKEY* key);

// Typed value readers: the destination is cleared first, so a failed read leaves 0 or empty.
// A value of an unexpected type is reported to the event log; an absent value or one that does
// not fit is not.
BOOL RegReadDword(HKEY key, const char* valueName, DWORD* value);
BOOL RegReadString(HKEY key, const char* valueName, char* text, DWORD size);
BOOL RegReadBool(HKEY key, const char* valueName, DWORD* value);

// Answers the new list's head (caller owns it), ports in the reverse of the registry's order;
// null when there are no ports or "Ports" cannot be opened.
PortEntry* StoreReadPorts(const char* keyPath);

// Fills one zero-filled node from the port's key under the open "Ports" key; FALSE when the port
// cannot be used (no key, no "Protocol", or a set tray flag without its number).
BOOL StoreReadPort(PortEntry* entry, HKEY portsKey, const char* portName);

// Fills `entry` (cleared first) from the named port's key; FALSE as StoreReadPort, with
// ERROR_FILE_NOT_FOUND when "Ports" or the port's key does not exist.
BOOL StoreReadNamedPort(const char* keyPath, const char* portName, PortEntry* entry);

// As StoreReadNamedPort, but the name is found in any case, as the registry compares key names, and
// portName holds the key's own name. Costs the same whatever the number of ports.
BOOL StoreFindPort(const char* keyPath, const char* portName, PortEntry* entry);

// FALSE only when "Options" cannot be opened; the options are then untouched.
BOOL StoreReadLogOptions(const char* keyPath, LogOptions* options);

// The logging options as the monitor starts with them: what the store holds over the defaults
// (level 1, no trace, no Bubble).
LogOptions StoreLogOptionsOrDefaults(const char* keyPath);

// Tests "Update" and clears it when this user may; TRUE when it was set.
BOOL StoreTakeUpdate(const char* keyPath);

// Writing side. Typed value writers: 0, false and the empty text delete the value (TRUE whatever
// the deletion yields); true is the text "True". A failed write answers FALSE.
BOOL RegWriteDword(HKEY key, const char* valueName, DWORD value);
BOOL RegWriteString(HKEY key, const char* valueName, const char* text);
BOOL RegWriteBool(HKEY key, const char* valueName, DWORD value);

// Printer pairs that StoreWritePort stores exactly as the entry holds them, name and address alike.
constexpr DWORD kStoreKeepTcpPrinter = 1;
constexpr DWORD kStoreKeepVnetPrinter = 2;

// Creates or updates the port's key; TRUE when every write succeeded. Each protocol's printer is
// stored by name when the name resolves now, else by address when there is one; with neither
// the stored pair stays; a pair named in `keepPrinters` is stored as it stands instead. A set tray
// flag always stores its number, 0 included. An entry without a protocol, or whose name is empty
// or holds a backslash, is refused (ERROR_INVALID_PARAMETER). With `created`, a write that made the
// port's key and succeeded fills it with the port as StoreReadPort would read it back (next null),
// sparing the reading; otherwise it is cleared, its name empty.
BOOL StoreWritePort(const char* keyPath, const PortEntry* entry, DWORD keepPrinters = 0,
                    PortEntry* created = nullptr);

// Deletes the port's key; FALSE (with the registry's code) when it cannot.
BOOL StoreDeletePort(const char* keyPath, const char* portName);

// Writes the options into "Options"; an empty trace file name keeps the stored one.
BOOL StoreWriteLogOptions(const char* keyPath, const LogOptions* options);

// TRUE when "Ports" opens with the store's access rights, that is when the user may change ports.
BOOL StoreCanWrite(const char* keyPath);

// Raises "Update", asking the monitor to re-read its ports.
BOOL StoreSetUpdate(const char* keyPath);
