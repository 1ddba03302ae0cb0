// Name and address resolution: TCP/IP through Windows Sockets, VTLnet through "vnetw".
#include "names/resolve.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>

namespace {

// The VTLnet library and its entry points: bound once at start-up, released only by a module
// that is unloaded itself.
HMODULE VnetLibrary = nullptr;
VnetAddrProc BoundVnetAddr = nullptr;
VnetNtoaProc BoundVnetNtoa = nullptr;
VnetGetNodeByNameProc BoundGetNodeByName = nullptr;
VnetGetNodeByAddrProc BoundGetNodeByAddr = nullptr;
VnetConnectProc BoundConnect = nullptr;
VnetSendProc BoundSend = nullptr;
VnetCloseProc BoundClose = nullptr;

TcpHostByNameProc HostByName = nullptr;
TcpHostByAddrProc HostByAddress = nullptr;
ProtocolProbeProc ProtocolProbe = nullptr;

template <class Proc>
void Bind(HMODULE library, const char* name, Proc* entry) {
  *entry = reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

hostent* LookUpHostByName(const char* name) {
  return HostByName ? HostByName(name) : gethostbyname(name);
}

hostent* LookUpHostByAddress(const char* address, int length, int family) {
  return HostByAddress ? HostByAddress(address, length, family) : gethostbyaddr(address, length, family);
}

// The frame every lookup shares: false when there is nothing to look up. With no room at all
// nothing is written; with no input the answer is the empty text.
bool BeginLookup(const char* input, char* text, int size) {
  if (size < 1 || !text) return false;
  text[0] = '\0';
  return input && *input;
}

// Copies the answer whole when it fits with its NUL; otherwise the output stays empty.
void WriteAnswer(const char* answer, char* text, int size) {
  if (!answer) return;
  size_t length = strlen(answer);
  if (length + 1 > static_cast<size_t>(size)) return;
  memcpy(text, answer, length + 1);
}

bool ProbeFamily(int family) {
  if (ProtocolProbe) return ProtocolProbe(family);
  SOCKET probe = socket(family, SOCK_STREAM, 0);
  return closesocket(probe) == 0;
}

// The library's full path: "vnetw.dll" in the directory of the module that holds this code (the
// program or the monitor library), never a search of the current directory or PATH. False when
// that path does not fit.
bool VnetLibraryPath(char (&path)[MAX_PATH]) {
  HMODULE self = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<const char*>(&VnetLibraryPath), &self)) {
    return false;
  }
  DWORD length = GetModuleFileNameA(self, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  char* name = strrchr(path, '\\');
  name = name ? name + 1 : path;
  static const char kFileName[] = "vnetw.dll";
  if (static_cast<size_t>(path + MAX_PATH - name) < sizeof kFileName) return false;
  memcpy(name, kFileName, sizeof kFileName);
  return true;
}

}  // namespace

void LoadVnetLibrary() {
  if (VnetLibrary) return;
  char path[MAX_PATH];
  if (!VnetLibraryPath(path)) return;
  HMODULE library = LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!library) return;
  VnetLibrary = library;
  Bind(library, "vnet_addr", &BoundVnetAddr);
  Bind(library, "vnet_ntoa", &BoundVnetNtoa);
  Bind(library, "getnodebyname", &BoundGetNodeByName);
  Bind(library, "getnodebyaddr", &BoundGetNodeByAddr);
  Bind(library, "vnet_connect", &BoundConnect);
  Bind(library, "vnet_send", &BoundSend);
  Bind(library, "vnet_close", &BoundClose);
}

void UnloadVnetLibrary() {
  if (!VnetLibrary) return;
  BoundVnetAddr = nullptr;
  BoundVnetNtoa = nullptr;
  BoundGetNodeByName = nullptr;
  BoundGetNodeByAddr = nullptr;
  BoundConnect = nullptr;
  BoundSend = nullptr;
  BoundClose = nullptr;
  FreeLibrary(VnetLibrary);
  VnetLibrary = nullptr;
}

VnetAddressRecord* VnetAddr(const char* text) {
  return BoundVnetAddr ? BoundVnetAddr(text) : nullptr;
}

char* VnetNtoa(const VnetAddressRecord* record) {
  return BoundVnetNtoa ? BoundVnetNtoa(record) : nullptr;
}

VnetNodeEntry* VnetGetNodeByName(const char* name) {
  return BoundGetNodeByName ? BoundGetNodeByName(name) : nullptr;
}

VnetNodeEntry* VnetGetNodeByAddr(const char* address, int length, int family) {
  return BoundGetNodeByAddr ? BoundGetNodeByAddr(address, length, family) : nullptr;
}

VnetConnection* VnetConnect(const char* address, int length, DWORD timeoutMs) {
  // The three come as one: a connection is never made that could not be used and closed.
  if (!BoundConnect || !BoundSend || !BoundClose) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return BoundConnect(address, length, timeoutMs);
}

int VnetSend(VnetConnection* connection, const char* data, int size) {
  return BoundSend(connection, data, size);
}

int VnetClose(VnetConnection* connection, BOOL finish) {
  return BoundClose(connection, finish);
}

bool IsTcpAvailable() {
  return ProbeFamily(kTcpFamily);
}

bool IsVnetAvailable() {
  return ProbeFamily(kVnetFamily);
}

bool TcpLookUpName(const char* name, in_addr* address) {
  if (!name || !*name) return false;
  hostent* host = LookUpHostByName(name);
  if (!host || host->h_addrtype != AF_INET || host->h_length < 4 || !host->h_addr_list || !host->h_addr_list[0]) {
    return false;
  }
  memcpy(address, host->h_addr_list[0], sizeof *address);
  return true;
}

size_t TcpLookUpAddresses(const char* name, sockaddr_storage* addresses, size_t capacity) {
  if (!name || !*name) return 0;
  addrinfo hints = {};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(name, nullptr, &hints, &found) != 0) return 0;
  size_t count = 0;
  for (addrinfo* entry = found; entry && count < capacity; entry = entry->ai_next) {
    bool known = (entry->ai_family == AF_INET && entry->ai_addrlen >= sizeof(sockaddr_in)) ||
                 (entry->ai_family == AF_INET6 && entry->ai_addrlen >= sizeof(sockaddr_in6));
    if (!known || !entry->ai_addr || entry->ai_addrlen > sizeof *addresses) continue;
    addresses[count] = {};
    memcpy(&addresses[count++], entry->ai_addr, entry->ai_addrlen);
  }
  freeaddrinfo(found);
  return count;
}

void TcpNameToAddress(const char* name, char* text, int size) {
  if (!BeginLookup(name, text, size)) return;
  in_addr address;
  if (TcpLookUpName(name, &address)) WriteAnswer(inet_ntoa(address), text, size);
}

void TcpAddressToName(const char* address, char* text, int size) {
  if (!BeginLookup(address, text, size)) return;
  unsigned long number = inet_addr(address);
  if (number == INADDR_NONE) return;
  hostent* host = LookUpHostByAddress(reinterpret_cast<const char*>(&number), 4, kTcpFamily);
  if (!host) return;
  WriteAnswer(host->h_name, text, size);
}

void VnetNameToAddress(const char* name, char* text, int size) {
  if (!BeginLookup(name, text, size)) return;
  VnetNodeEntry* node = VnetGetNodeByName(name);
  // The record carries two address bytes; a shorter node address would be read past its end.
  if (!node || !node->address || LOWORD(node->addressLength) < sizeof(VnetAddressRecord::address)) return;
  VnetAddressRecord record;
  record.length = LOWORD(node->addressLength);
  memcpy(record.address, node->address, sizeof record.address);
  WriteAnswer(VnetNtoa(&record), text, size);
}

void VnetAddressToName(const char* address, char* text, int size) {
  if (!BeginLookup(address, text, size)) return;
  VnetAddressRecord* record = VnetAddr(address);
  if (!record) return;
  VnetNodeEntry* node =
      VnetGetNodeByAddr(reinterpret_cast<const char*>(record->address), record->length, kVnetFamily);
  if (!node) return;
  // Lower-case our copy only: the name in the library's storage belongs to the library.
  WriteAnswer(node->name, text, size);
  CharLowerBuffA(text, static_cast<DWORD>(strlen(text)));
}

Status StartSockets() {
  WSADATA data;
  if (WSAStartup(MAKEWORD(1, 1), &data) != 0) return EXC_E_ERROR;
  if (LOBYTE(data.wVersion) == 1 && HIBYTE(data.wVersion) <= 1) return EXC_S_SUCCESS;
  WSACleanup();
  return EXC_E_ERROR;
}

Status StopSockets() {
  WSACleanup();
  return EXC_S_SUCCESS;
}

void SetTcpResolver(TcpHostByNameProc byName, TcpHostByAddrProc byAddress) {
  HostByName = byName;
  HostByAddress = byAddress;
}

void SetProtocolProbe(ProtocolProbeProc probe) {
  ProtocolProbe = probe;
}
