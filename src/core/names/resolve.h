// Name and address resolution for both protocols: TCP/IP through Windows Sockets, VTLnet
// through the library "vnetw", bound at run time when it is installed. Lookups block the caller
// and never report an error: an answer that cannot be given, or does not fit, is the empty text.
#pragma once

#include <windows.h>

#include <cstddef>

#include "base/status.h"

// A VTLnet address as the library gives and takes it: a 16-bit byte count, then the bytes.
struct VnetAddressRecord {
  unsigned short length;
  unsigned char address[2];
};
static_assert(offsetof(VnetAddressRecord, address) == 2, "address bytes follow the 16-bit length");

// A node as the library describes it; only the name and the address are used.
struct VnetNodeEntry {
  char* name;
  char** aliases;
  DWORD addressLength;  // the length is the low 16 bits
  unsigned char* address;
};
#if defined(_WIN64)
static_assert(offsetof(VnetNodeEntry, addressLength) == 16 && offsetof(VnetNodeEntry, address) == 24,
              "64-bit node layout: natural pointer size");
#else
static_assert(offsetof(VnetNodeEntry, addressLength) == 8 && offsetof(VnetNodeEntry, address) == 12,
              "32-bit node layout: the library's byte offsets");
#endif

constexpr int kVnetFamily = 12;
constexpr int kTcpFamily = 2;

// The library's entry points, undecorated names, WINAPI calling convention.
using VnetAddrProc = VnetAddressRecord*(WINAPI*)(const char* text);
using VnetNtoaProc = char*(WINAPI*)(const VnetAddressRecord* record);
using VnetGetNodeByNameProc = VnetNodeEntry*(WINAPI*)(const char* name);
using VnetGetNodeByAddrProc = VnetNodeEntry*(WINAPI*)(const char* address, int length, int family);

// Loads "vnetw.dll" from the directory of the module that holds this code (never by a search) and
// binds its entry points; a missing library or entry point stays empty. Once bound, further calls
// change nothing. Not from DllMain: loading a library there runs under the loader lock.
void LoadVnetLibrary();

// Forgets the entry points and releases the library; for a module that is itself unloaded.
void UnloadVnetLibrary();

// The library's transport, for print jobs (see vnetw/README.md): a connection is the library's.
struct VnetConnection;
using VnetConnectProc = VnetConnection*(WINAPI*)(const char* address, int length, DWORD timeoutMs);
using VnetSendProc = int(WINAPI*)(VnetConnection* connection, const char* data, int size);
using VnetCloseProc = int(WINAPI*)(VnetConnection* connection, BOOL finish);

// Call the bound entry point; null without calling anything when it is not bound.
VnetAddressRecord* VnetAddr(const char* text);
char* VnetNtoa(const VnetAddressRecord* record);
VnetNodeEntry* VnetGetNodeByName(const char* name);
VnetNodeEntry* VnetGetNodeByAddr(const char* address, int length, int family);
// The transport: VnetConnect fails with ERROR_MOD_NOT_FOUND when the library or its transport
// is not there; VnetSend answers the bytes that went out; VnetClose answers 0 or an error code.
VnetConnection* VnetConnect(const char* address, int length, DWORD timeoutMs);
int VnetSend(VnetConnection* connection, const char* data, int size);
int VnetClose(VnetConnection* connection, BOOL finish);

// True when a stream socket of the protocol's family can be created (and closed).
bool IsTcpAvailable();
bool IsVnetAvailable();

// The first IPv4 address of `name`, from the host entries below (SetTcpResolver); false when the
// name gives none. The one TCP/IP name lookup: the dialogs' completion and the print jobs use it.
struct in_addr;
bool TcpLookUpName(const char* name, in_addr* address);

// Every address of `name`, IPv6 and IPv4, in the order the system gives them (getaddrinfo, never
// the host entries below), at most `capacity` of them; the count, 0 when the name gives none. The
// print jobs use it.
struct sockaddr_storage;
size_t TcpLookUpAddresses(const char* name, sockaddr_storage* addresses, size_t capacity);

// Each writes its answer into `text` of `size` bytes: nothing at all when size is 0 or text is
// null, the empty text when there is no answer or it does not fit whole.
void TcpNameToAddress(const char* name, char* text, int size);
void TcpAddressToName(const char* address, char* text, int size);
void VnetNameToAddress(const char* name, char* text, int size);
void VnetAddressToName(const char* address, char* text, int size);  // lower case; library storage untouched

// Windows Sockets 1.1 around each run of the port dialog: success only when version 1.0 or 1.1
// is granted (the library is stopped again otherwise).
Status StartSockets();
Status StopSockets();

// Where the TCP/IP lookups take their host entries: WinSock's gethostbyname and gethostbyaddr
// unless a test sets functions of its own. Null restores WinSock.
struct hostent;
using TcpHostByNameProc = hostent* (*)(const char* name);
using TcpHostByAddrProc = hostent* (*)(const char* address, int length, int family);
void SetTcpResolver(TcpHostByNameProc byName, TcpHostByAddrProc byAddress);

// Where IsTcpAvailable and IsVnetAvailable take their answer: a socket of the protocol's family
// unless a test sets a function of its own. Null restores the socket probe.
using ProtocolProbeProc = bool (*)(int family);
void SetProtocolProbe(ProtocolProbeProc probe);

// Windows Sockets started for the life of the owner (starts are counted, so a caller's own start
// is left as it was); for look-ups outside the port dialog, which stops them when it ends.
class ScopedSockets {
public:
  ScopedSockets() : started_(StatusSucceeded(StartSockets())) {}
  ~ScopedSockets() {
    if (started_) StopSockets();
  }
  ScopedSockets(const ScopedSockets&) = delete;
  ScopedSockets& operator=(const ScopedSockets&) = delete;

  bool started() const { return started_; }

private:
  bool started_;
};
