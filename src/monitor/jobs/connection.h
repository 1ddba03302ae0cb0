// A stream connection to a printer over Windows Sockets: a bounded connect, sends whose timeout
// restarts with every slice the printer takes, looks for the printer's close or reset while the
// job is sent, and an orderly end. Every operation answers 0 or the socket's error code
// (WSAETIMEDOUT when a wait ran out, WSAECONNRESET when the printer closed its side before the
// job's end); none sleeps.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstddef>

#include "model/portentry.h"

constexpr size_t kConnMaxAddresses = 8;
// The printer's port for raw jobs.
constexpr unsigned short kRawPort = 9100;

// Where a TCP/IP port's printer listens: every address of the stored name, now, when it resolves,
// else the stored address; each with the port's own TCP port, else the way's.
struct ConnPrinter {
  sockaddr_storage addresses[kConnMaxAddresses];
  size_t count;
  unsigned short port;
};

// Finds the printer of a TCP/IP port and names it for events in `text` (`size` bytes): "name
// (address, address..., TCP port n", then `more`, then ")"; also when there is no address:
// WSAHOST_NOT_FOUND.
DWORD ConnLocate(const PortEntry& port, unsigned short defaultPort, const char* more, ConnPrinter* printer,
                 char* text, size_t size);

// Connects to the printer: each address in turn, the next one started when the earlier ones have
// not answered within a short delay or have failed, each given `timeoutMs`; the first to connect
// wins and the others are closed. When none connects, the error of the last one to fail. With
// `reservedSource` each connection comes from a port of 721 to 731 when one can be bound, else
// from any port; with `noDelay` small writes go out at once (for command exchanges that wait for
// an answer). The socket is the caller's; each send and receive waits `timeoutMs` at most, and the
// send buffer is kept modest, so that what the printer takes shows soon.
DWORD ConnOpen(const ConnPrinter& printer, bool reservedSource, bool noDelay, DWORD timeoutMs, SOCKET* connection);

// ConnOpen for LPR: from a reserved source port, every command sent at once. When the reserved
// port still serves, or has just served, an earlier connection to the printer (in TIME_WAIT some
// systems answer "address not available"), from any port.
DWORD ConnOpenLpr(const ConnPrinter& printer, DWORD timeoutMs, SOCKET* connection);

// Sends all of `data` in slices of 16 KB; *sent tells how many bytes went out, also on failure.
// WSAETIMEDOUT when the printer took no slice within the connection's timeout. Before a slice it
// looks, without waiting, whether the printer closed or reset the connection (what the printer
// sent meanwhile is dropped): WSAECONNRESET then. It looks before every slice without `unlooked`;
// with it, once 64 KB went out since the last look (*unlooked counts them across calls).
DWORD ConnSend(SOCKET connection, const void* data, DWORD size, DWORD* unlooked, DWORD* sent);

// Reads up to `size` bytes into `data`, waiting `timeoutMs` at most. *received is 0 when the
// printer closed its side.
DWORD ConnReceive(SOCKET connection, void* data, DWORD size, DWORD timeoutMs, DWORD* received);

// Ends the job: fails with WSAECONNRESET when the printer closed or reset the connection before
// this end, else ends the sending side and reads and drops what the printer sends back until it
// closes its side, within `timeoutMs` after the last byte went out (the modest send buffer bounds
// what the printer still has to read then): only then has the printer taken every byte.
DWORD ConnFinish(SOCKET connection, DWORD timeoutMs);

// The address the printer answered at on `connection`, else the printer's first; false when it has none.
bool ConnPrinterAddress(const ConnPrinter& printer, SOCKET connection, sockaddr_storage* address);

// Closes the socket, when there is one, and sets it to INVALID_SOCKET.
void ConnClose(SOCKET* connection);
