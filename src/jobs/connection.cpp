#include "jobs/connection.h"

#include <cstring>

namespace {

constexpr unsigned short kFirstReservedPort = 721;
constexpr unsigned short kLastReservedPort = 731;

timeval Timeval(DWORD timeoutMs) {
  timeval limit;
  limit.tv_sec = static_cast<long>(timeoutMs / 1000);
  limit.tv_usec = static_cast<long>(timeoutMs % 1000) * 1000;
  return limit;
}

// Waits until a connecting socket has connected; 0 when it has.
int WaitForConnection(SOCKET connection, DWORD timeoutMs) {
  fd_set ready;
  fd_set failed;
  FD_ZERO(&ready);
  FD_ZERO(&failed);
  FD_SET(connection, &ready);
  FD_SET(connection, &failed);
  timeval limit = Timeval(timeoutMs);
  int count = select(0, nullptr, &ready, &failed, &limit);
  if (count == SOCKET_ERROR) return WSAGetLastError();
  if (count == 0) return WSAETIMEDOUT;
  if (FD_ISSET(connection, &failed)) {
    int error = 0;
    int length = sizeof error;
    getsockopt(connection, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
    return error ? error : WSAECONNRESET;
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

int ConnResolve(const char* name, const char* address, in_addr* printer) {
  if (name && *name) {
    if (hostent* host = gethostbyname(name); host && host->h_addrtype == AF_INET && host->h_addr_list[0]) {
      memcpy(printer, host->h_addr_list[0], sizeof *printer);
      return 0;
    }
  }
  if (address && *address) {
    unsigned long number = inet_addr(address);
    if (number != INADDR_NONE) {
      printer->s_addr = number;
      return 0;
    }
  }
  return WSAHOST_NOT_FOUND;
}

int ConnOpen(in_addr printer, unsigned short port, bool reservedSource, DWORD timeoutMs, SOCKET* connection) {
  *connection = socket(AF_INET, SOCK_STREAM, 0);
  if (*connection == INVALID_SOCKET) return WSAGetLastError();
  if (reservedSource) BindReservedPort(*connection);
  u_long nonBlocking = 1;
  if (ioctlsocket(*connection, FIONBIO, &nonBlocking) == SOCKET_ERROR) return WSAGetLastError();

  sockaddr_in target = {};
  target.sin_family = AF_INET;
  target.sin_port = htons(port);
  target.sin_addr = printer;
  if (connect(*connection, reinterpret_cast<sockaddr*>(&target), sizeof target) != 0) {
    int error = WSAGetLastError();
    if (error != WSAEWOULDBLOCK && error != WSAEINPROGRESS) return error;
    error = WaitForConnection(*connection, timeoutMs);
    if (error) return error;
  }
  // Connected, the socket blocks again with the timeout on every send and receive: one call per
  // block of the job, where a non-blocking socket would also wait in select for each.
  u_long blocking = 0;
  DWORD limit = timeoutMs;
  if (ioctlsocket(*connection, FIONBIO, &blocking) == SOCKET_ERROR ||
      setsockopt(*connection, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<char*>(&limit), sizeof limit) == SOCKET_ERROR ||
      setsockopt(*connection, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<char*>(&limit), sizeof limit) == SOCKET_ERROR) {
    return WSAGetLastError();
  }
  return 0;
}

int ConnSend(SOCKET connection, const void* data, DWORD size, DWORD* sent) {
  *sent = 0;
  const char* bytes = static_cast<const char*>(data);
  while (*sent < size) {
    int result = send(connection, bytes + *sent, static_cast<int>(size - *sent), 0);
    if (result <= 0) return result == 0 ? WSAECONNRESET : WSAGetLastError();
    *sent += static_cast<DWORD>(result);
  }
  return 0;
}

int ConnReceive(SOCKET connection, void* data, DWORD size, DWORD* received) {
  *received = 0;
  int result = recv(connection, static_cast<char*>(data), static_cast<int>(size), 0);
  if (result < 0) return WSAGetLastError();
  *received = static_cast<DWORD>(result);
  return 0;
}

int ConnFinish(SOCKET connection, DWORD timeoutMs) {
  if (shutdown(connection, 1 /* sends */) == SOCKET_ERROR) return WSAGetLastError();
  // Each receive waits the timeout at most; a printer that keeps talking is cut off at the same.
  DWORD start = GetTickCount();
  for (;;) {
    char discarded[512];
    DWORD received = 0;
    int error = ConnReceive(connection, discarded, sizeof discarded, &received);
    if (error) return error;
    if (received == 0) return 0;
    if (GetTickCount() - start >= timeoutMs) return WSAETIMEDOUT;
  }
}

void ConnClose(SOCKET* connection) {
  if (*connection == INVALID_SOCKET) return;
  closesocket(*connection);
  *connection = INVALID_SOCKET;
}
