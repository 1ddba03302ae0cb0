#include "jobs/connection.h"

#include <cstdio>

#include "names/resolve.h"

namespace {

constexpr unsigned short kFirstReservedPort = 721;
constexpr unsigned short kLastReservedPort = 731;
// Enough for a full stream on a LAN, small enough that a slow printer's progress shows within
// seconds and that little is left for the printer to read once the job's last byte went out.
constexpr int kSendBufferBytes = 64 * 1024;
constexpr int kMaxDropsPerLook = 64;  // what a printer sends back is read in bounded helpings
// One send waits for this much room at most, so the send timeout restarts with every slice the
// printer takes, while a blocking send keeps the stream as fast as a plain send loop.
constexpr DWORD kSendSliceBytes = 16 * 1024;
// A look for the printer's close costs as much as a send: a stream looks once per this much.
constexpr DWORD kLookEveryBytes = 64 * 1024;

DWORD SocketError() {
  return static_cast<DWORD>(WSAGetLastError());
}

timeval Timeval(DWORD timeoutMs) {
  timeval limit;
  limit.tv_sec = static_cast<long>(timeoutMs / 1000);
  limit.tv_usec = static_cast<long>(timeoutMs % 1000) * 1000;
  return limit;
}

// Waits until a connecting socket has connected; 0 when it has.
DWORD WaitForConnection(SOCKET connection, DWORD timeoutMs) {
  fd_set ready;
  fd_set failed;
  FD_ZERO(&ready);
  FD_ZERO(&failed);
  FD_SET(connection, &ready);
  FD_SET(connection, &failed);
  timeval limit = Timeval(timeoutMs);
  int count = select(0, nullptr, &ready, &failed, &limit);
  if (count == SOCKET_ERROR) return SocketError();
  if (count == 0) return WSAETIMEDOUT;
  if (FD_ISSET(connection, &failed)) {
    int error = 0;
    int length = sizeof error;
    getsockopt(connection, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
    return error ? static_cast<DWORD>(error) : WSAECONNRESET;
  }
  return 0;
}

// Waits until the printer sent something or closed (and, with `orRoom`, until the socket takes
// more); WSAETIMEDOUT when nothing came within `timeoutMs`.
DWORD WaitForPrinter(SOCKET connection, bool orRoom, DWORD timeoutMs) {
  fd_set readable;
  fd_set writable;
  FD_ZERO(&readable);
  FD_ZERO(&writable);
  FD_SET(connection, &readable);
  if (orRoom) FD_SET(connection, &writable);
  timeval limit = Timeval(timeoutMs);
  int count = select(0, &readable, &writable, nullptr, &limit);
  if (count == SOCKET_ERROR) return SocketError();
  return count == 0 ? WSAETIMEDOUT : 0;
}

// Looks without waiting whether the printer is still there, dropping what it sent back: a closed
// side or a reset before the job's end means the printer will not take the rest.
DWORD CheckPrinterThere(SOCKET connection) {
  for (int look = 0; look < kMaxDropsPerLook; ++look) {
    DWORD error = WaitForPrinter(connection, false, 0);
    if (error) return error == WSAETIMEDOUT ? 0 : error;
    char dropped[512];
    int result = recv(connection, dropped, sizeof dropped, 0);
    if (result == 0) return WSAECONNRESET;
    if (result < 0) return SocketError();
  }
  return 0;
}

void BindReservedPort(SOCKET connection) {
  for (unsigned short port = kFirstReservedPort; port <= kLastReservedPort; ++port) {
    sockaddr_in source = {};
    source.sin_family = AF_INET;
    source.sin_port = htons(port);
    if (bind(connection, reinterpret_cast<sockaddr*>(&source), sizeof source) == 0) return;
  }
}

}  // namespace

DWORD ConnLocate(const PortEntry& port, unsigned short defaultPort, const char* more, ConnPrinter* printer,
                 char* text, size_t size) {
  printer->port = port.tcpPortNumber ? static_cast<unsigned short>(port.tcpPortNumber) : defaultPort;
  bool found = TcpLookUpName(port.tcpName, &printer->address);
  if (!found && port.tcpAddress[0]) {
    printer->address.s_addr = inet_addr(port.tcpAddress);
    found = printer->address.s_addr != INADDR_NONE;
  }
  snprintf(text, size, "%s (%s, TCP port %u%s)", port.tcpName[0] ? port.tcpName : port.tcpAddress,
           found ? inet_ntoa(printer->address) : "no address", printer->port, more);
  return found ? 0 : WSAHOST_NOT_FOUND;
}

DWORD ConnOpen(const ConnPrinter& printer, bool reservedSource, bool noDelay, DWORD timeoutMs, SOCKET* connection) {
  *connection = socket(AF_INET, SOCK_STREAM, 0);
  if (*connection == INVALID_SOCKET) return SocketError();
  if (reservedSource) BindReservedPort(*connection);
  u_long nonBlocking = 1;
  if (ioctlsocket(*connection, FIONBIO, &nonBlocking) == SOCKET_ERROR) return SocketError();

  sockaddr_in target = {};
  target.sin_family = AF_INET;
  target.sin_port = htons(printer.port);
  target.sin_addr = printer.address;
  if (connect(*connection, reinterpret_cast<sockaddr*>(&target), sizeof target) != 0) {
    DWORD error = SocketError();
    if (error != WSAEWOULDBLOCK && error != WSAEINPROGRESS) return error;
    error = WaitForConnection(*connection, timeoutMs);
    if (error) return error;
  }
  // Connected, the socket blocks again, each send waiting the timeout at most for room for its slice.
  u_long blocking = 0;
  DWORD limit = timeoutMs;
  int sendBuffer = kSendBufferBytes;
  BOOL delayOff = TRUE;
  if (ioctlsocket(*connection, FIONBIO, &blocking) == SOCKET_ERROR ||
      setsockopt(*connection, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<char*>(&limit), sizeof limit) == SOCKET_ERROR ||
      setsockopt(*connection, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<char*>(&sendBuffer), sizeof sendBuffer) ==
          SOCKET_ERROR ||
      (noDelay && setsockopt(*connection, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<char*>(&delayOff),
                             sizeof delayOff) == SOCKET_ERROR)) {
    return SocketError();
  }
  return 0;
}

DWORD ConnSend(SOCKET connection, const void* data, DWORD size, DWORD* unlooked, DWORD* sent) {
  *sent = 0;
  const char* bytes = static_cast<const char*>(data);
  while (*sent < size) {
    if (!unlooked || *unlooked >= kLookEveryBytes) {
      DWORD error = CheckPrinterThere(connection);
      if (error) return error;
      if (unlooked) *unlooked = 0;
    }
    DWORD slice = size - *sent < kSendSliceBytes ? size - *sent : kSendSliceBytes;
    int result = send(connection, bytes + *sent, static_cast<int>(slice), 0);
    if (result <= 0) return result == 0 ? WSAECONNRESET : SocketError();
    *sent += static_cast<DWORD>(result);
    if (unlooked) *unlooked += static_cast<DWORD>(result);
  }
  return 0;
}

DWORD ConnReceive(SOCKET connection, void* data, DWORD size, DWORD timeoutMs, DWORD* received) {
  *received = 0;
  DWORD error = WaitForPrinter(connection, false, timeoutMs);
  if (error) return error;
  int result = recv(connection, static_cast<char*>(data), static_cast<int>(size), 0);
  if (result < 0) return SocketError();
  *received = static_cast<DWORD>(result);
  return 0;
}

DWORD ConnFinish(SOCKET connection, DWORD timeoutMs) {
  DWORD error = CheckPrinterThere(connection);
  if (error) return error;
  if (shutdown(connection, 1 /* sends */) == SOCKET_ERROR) return SocketError();
  // A printer that keeps talking is cut off at the same time.
  DWORD start = GetTickCount();
  for (DWORD waited = 0; waited < timeoutMs; waited = GetTickCount() - start) {
    char discarded[512];
    DWORD received = 0;
    error = ConnReceive(connection, discarded, sizeof discarded, timeoutMs - waited, &received);
    if (error) return error;
    if (received == 0) return 0;
  }
  return WSAETIMEDOUT;
}

void ConnClose(SOCKET* connection) {
  if (*connection == INVALID_SOCKET) return;
  closesocket(*connection);
  *connection = INVALID_SOCKET;
}
