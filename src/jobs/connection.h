// A stream connection to a printer over Windows Sockets: a bounded connect, sends that wait a
// bounded time for room, and an orderly end that waits for the printer to close its side. Every
// operation answers 0 or a WinSock error code (WSAETIMEDOUT when a wait ran out); none sleeps.
#pragma once

#include <winsock.h>

// The printer's IPv4 address: the name resolved now when it resolves, else the address text.
// WSAHOST_NOT_FOUND when neither gives one.
int ConnResolve(const char* name, const char* address, in_addr* printer);

// Connects to the printer within `timeoutMs`. With `reservedSource` the connection comes from a
// port of 721 to 731 when one can be bound, else from any port. The socket is the caller's; every
// send and receive on it waits `timeoutMs` at most.
int ConnOpen(in_addr printer, unsigned short port, bool reservedSource, DWORD timeoutMs, SOCKET* connection);

// Sends all of `data`, partial sends included; *sent tells how many bytes went out, also on
// failure (WSAETIMEDOUT when the printer took nothing for the connection's timeout).
int ConnSend(SOCKET connection, const void* data, DWORD size, DWORD* sent);

// Reads up to `size` bytes into `data`, waiting the connection's timeout at most. *received is 0
// when the printer closed its side.
int ConnReceive(SOCKET connection, void* data, DWORD size, DWORD* received);

// Ends the sending side and reads and discards what the printer sends back until it closes its
// side, within about `timeoutMs`: only then has the printer taken every byte.
int ConnFinish(SOCKET connection, DWORD timeoutMs);

// Closes the socket, when there is one, and sets it to INVALID_SOCKET.
void ConnClose(SOCKET* connection);
