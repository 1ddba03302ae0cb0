#include "jobs/connection.h"

#include <cstdio>
#include <string>

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
// An address that has not answered within this long gets company: the next one is tried beside it.
constexpr DWORD kNextAddressDelayMs = 250;

DWORD SocketError() {
  return static_cast<DWORD>(WSAGetLastError());
}

timeval Timeval(DWORD timeoutMs) {
  timeval limit;
  limit.tv_sec = static_cast<long>(timeoutMs / 1000);
  limit.tv_usec = static_cast<long>(timeoutMs % 1000) * 1000;
  return limit;
}

// Waits until the printer sent something or closed; WSAETIMEDOUT when nothing came within `timeoutMs`.
DWORD WaitForPrinter(SOCKET connection, DWORD timeoutMs) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(connection, &readable);
  timeval limit = Timeval(timeoutMs);
  int count = select(0, &readable, nullptr, nullptr, &limit);
  if (count == SOCKET_ERROR) return SocketError();
  return count == 0 ? WSAETIMEDOUT : 0;
}

// Looks without waiting whether the printer is still there, dropping what it sent back: a closed
// side or a reset before the job's end means the printer will not take the rest.
DWORD CheckPrinterThere(SOCKET connection) {
  for (int look = 0; look < kMaxDropsPerLook; ++look) {
    DWORD error = WaitForPrinter(connection, 0);
    if (error) return error == WSAETIMEDOUT ? 0 : error;
    char dropped[512];
    int result = recv(connection, dropped, sizeof dropped, 0);
    if (result == 0) return WSAECONNRESET;
    if (result < 0) return SocketError();
  }
  return 0;
}

void BindReservedPort(SOCKET connection, int family) {
  for (unsigned short port = kFirstReservedPort; port <= kLastReservedPort; ++port) {
    sockaddr_storage source = {};
    source.ss_family = static_cast<short>(family);
    if (family == AF_INET6) {
      reinterpret_cast<sockaddr_in6*>(&source)->sin6_port = htons(port);
    } else {
      reinterpret_cast<sockaddr_in*>(&source)->sin_port = htons(port);
    }
    int length = family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    if (bind(connection, reinterpret_cast<sockaddr*>(&source), length) == 0) return;
  }
}

int AddressLength(const sockaddr_storage& address) {
  return address.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
}

// The address as numbers, for events.
std::string AddressText(const sockaddr_storage& address) {
  char text[INET6_ADDRSTRLEN] = "";
  const void* number = address.ss_family == AF_INET6
                           ? static_cast<const void*>(&reinterpret_cast<const sockaddr_in6*>(&address)->sin6_addr)
                           : static_cast<const void*>(&reinterpret_cast<const sockaddr_in*>(&address)->sin_addr);
  inet_ntop(address.ss_family, const_cast<void*>(number), text, sizeof text);
  return text;
}

// Starts a connect without waiting: 0 when it connected at once, WSAEWOULDBLOCK while it goes on,
// else its error (the socket is then closed).
DWORD StartConnect(const sockaddr_storage& address, bool reservedSource, SOCKET* connection) {
  *connection = socket(address.ss_family, SOCK_STREAM, IPPROTO_TCP);
  if (*connection == INVALID_SOCKET) return SocketError();
  if (reservedSource) BindReservedPort(*connection, address.ss_family);
  u_long nonBlocking = 1;
  DWORD error = 0;
  if (ioctlsocket(*connection, FIONBIO, &nonBlocking) == SOCKET_ERROR ||
      connect(*connection, reinterpret_cast<const sockaddr*>(&address), AddressLength(address)) != 0) {
    error = SocketError();
  }
  if (error == WSAEINPROGRESS) error = WSAEWOULDBLOCK;
  if (error && error != WSAEWOULDBLOCK) ConnClose(connection);
  return error;
}

// The connects under way, each with the tick it started at.
struct Attempts {
  SOCKET sockets[kConnMaxAddresses];
  DWORD started[kConnMaxAddresses];
  size_t count = 0;

  void Add(SOCKET socket, DWORD now) {
    sockets[count] = socket;
    started[count++] = now;
  }
  // Until the first of them runs out of `timeoutMs`.
  DWORD TimeLeft(DWORD now, DWORD timeoutMs) const {
    DWORD least = timeoutMs;
    for (size_t i = 0; i < count; ++i) {
      DWORD left = now - started[i] < timeoutMs ? timeoutMs - (now - started[i]) : 0;
      if (left < least) least = left;
    }
    return least;
  }
  void Drop(size_t index) {
    ConnClose(&sockets[index]);
    sockets[index] = sockets[--count];
    started[index] = started[count];
  }
  void DropAll() {
    while (count) Drop(count - 1);
  }
};

// Waits at most `waitMs` for the attempts: the one that connected moves to *winner (the others are
// closed); those that failed or ran out of `timeoutMs` are dropped, their error in *error.
DWORD AwaitAttempts(Attempts* attempts, DWORD waitMs, DWORD timeoutMs, SOCKET* winner, DWORD* error) {
  fd_set ready;
  fd_set failed;
  FD_ZERO(&ready);
  FD_ZERO(&failed);
  for (size_t i = 0; i < attempts->count; ++i) {
    FD_SET(attempts->sockets[i], &ready);
    FD_SET(attempts->sockets[i], &failed);
  }
  timeval limit = Timeval(waitMs);
  if (select(0, nullptr, &ready, &failed, &limit) == SOCKET_ERROR) return SocketError();
  DWORD now = GetTickCount();
  for (size_t i = attempts->count; i-- > 0;) {
    SOCKET socket = attempts->sockets[i];
    if (FD_ISSET(socket, &failed)) {
      int code = 0;
      int length = sizeof code;
      getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&code), &length);
      *error = code ? static_cast<DWORD>(code) : WSAECONNRESET;
      attempts->Drop(i);
    } else if (FD_ISSET(socket, &ready)) {
      *winner = socket;
      attempts->sockets[i] = INVALID_SOCKET;
      attempts->DropAll();
      return 0;
    } else if (now - attempts->started[i] >= timeoutMs) {
      *error = WSAETIMEDOUT;
      attempts->Drop(i);
    }
  }
  return 0;
}

// The first of the printer's addresses to connect, its socket still not blocking.
DWORD ConnectFirst(const ConnPrinter& printer, bool reservedSource, DWORD timeoutMs, SOCKET* connection) {
  *connection = INVALID_SOCKET;
  Attempts attempts;
  DWORD error = WSAHOST_NOT_FOUND;
  size_t next = 0;
  DWORD nextStart = GetTickCount();
  for (;;) {
    DWORD now = GetTickCount();
    // The next address is due once the earlier ones have had their delay, or have all failed.
    if (next < printer.count && (attempts.count == 0 || static_cast<LONG>(now - nextStart) >= 0)) {
      SOCKET socket = INVALID_SOCKET;
      DWORD started = StartConnect(printer.addresses[next++], reservedSource, &socket);
      nextStart = started == WSAEWOULDBLOCK ? now + kNextAddressDelayMs : now;
      if (started == 0) {
        attempts.DropAll();
        *connection = socket;
        return 0;
      }
      if (started == WSAEWOULDBLOCK) {
        attempts.Add(socket, now);
      } else {
        error = started;
      }
      continue;
    }
    if (attempts.count == 0) return error;
    // Until the next address is due or an attempt runs out, whichever comes first.
    DWORD waitMs = attempts.TimeLeft(now, timeoutMs);
    if (next < printer.count && nextStart - now < waitMs) waitMs = nextStart - now;
    SOCKET winner = INVALID_SOCKET;
    DWORD failed = AwaitAttempts(&attempts, waitMs, timeoutMs, &winner, &error);
    if (failed) {
      attempts.DropAll();
      return failed;
    }
    if (winner != INVALID_SOCKET) {
      *connection = winner;
      return 0;
    }
  }
}

}  // namespace

DWORD ConnLocate(const PortEntry& port, unsigned short defaultPort, const char* more, ConnPrinter* printer,
                 char* text, size_t size) {
  printer->port = port.tcpPortNumber ? static_cast<unsigned short>(port.tcpPortNumber) : defaultPort;
  printer->count = TcpLookUpAddresses(port.tcpName, printer->addresses, kConnMaxAddresses);
  unsigned long stored = port.tcpAddress[0] ? inet_addr(port.tcpAddress) : INADDR_NONE;
  if (printer->count == 0 && stored != INADDR_NONE) {
    printer->addresses[0] = {};
    auto* address = reinterpret_cast<sockaddr_in*>(&printer->addresses[0]);
    address->sin_family = AF_INET;
    address->sin_addr.s_addr = stored;
    printer->count = 1;
  }
  std::string addresses;
  for (size_t i = 0; i < printer->count; ++i) {
    sockaddr_storage& address = printer->addresses[i];
    if (address.ss_family == AF_INET6) {
      reinterpret_cast<sockaddr_in6*>(&address)->sin6_port = htons(printer->port);
    } else {
      reinterpret_cast<sockaddr_in*>(&address)->sin_port = htons(printer->port);
    }
    addresses += AddressText(address) + ", ";
  }
  snprintf(text, size, "%s (%s, TCP port %u%s)", port.tcpName[0] ? port.tcpName : port.tcpAddress,
           printer->count ? addresses.substr(0, addresses.size() - 2).c_str() : "no address", printer->port, more);
  return printer->count ? 0 : WSAHOST_NOT_FOUND;
}

DWORD ConnOpen(const ConnPrinter& printer, bool reservedSource, bool noDelay, DWORD timeoutMs, SOCKET* connection) {
  DWORD error = ConnectFirst(printer, reservedSource, timeoutMs, connection);
  if (error) return error;
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
  DWORD error = WaitForPrinter(connection, timeoutMs);
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

DWORD ConnOpenLpr(const ConnPrinter& printer, DWORD timeoutMs, SOCKET* connection) {
  DWORD error = ConnOpen(printer, true, true, timeoutMs, connection);
  if (error != WSAEADDRINUSE && error != WSAEADDRNOTAVAIL) return error;
  ConnClose(connection);
  return ConnOpen(printer, false, true, timeoutMs, connection);
}

bool ConnPrinterAddress(const ConnPrinter& printer, SOCKET connection, sockaddr_storage* address) {
  int length = sizeof *address;
  if (connection != INVALID_SOCKET && getpeername(connection, reinterpret_cast<sockaddr*>(address), &length) == 0) {
    return true;
  }
  if (printer.count == 0) return false;
  *address = printer.addresses[0];
  return true;
}

void ConnClose(SOCKET* connection) {
  if (*connection == INVALID_SOCKET) return;
  closesocket(*connection);
  *connection = INVALID_SOCKET;
}
