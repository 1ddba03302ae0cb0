// vnetw: the VTLnet library's interface, as programs that load it see it. Records that the entry
// points answer live in the library's storage, one set per thread, and stay valid until the
// thread's next call of the same kind.
#pragma once

#include <windows.h>

#include <cstddef>

// The sockets family number of VTLnet addresses.
constexpr int kVnetFamily = 12;

// Node numbers and area numbers: an address is area * 1024 + node.
constexpr unsigned kVnetMaxArea = 63;
constexpr unsigned kVnetMaxNode = 1023;

// The longest node name the node database holds.
constexpr size_t kVnetMaxNameLength = 31;

// An address: a 16-bit byte count (always 2 from this library), then the address bytes, low
// byte first.
struct VnetAddressRecord {
  unsigned short length;
  unsigned char address[2];
};
static_assert(offsetof(VnetAddressRecord, address) == 2 && sizeof(VnetAddressRecord) == 4);

// A node: its name as stored in the node database, an empty alias list, and its address.
struct VnetNodeEntry {
  char* name;
  char** aliases;
  DWORD addressLength;  // 2; a 32-bit slot whose low 16 bits hold the length
  unsigned char* address;
};
#if defined(_WIN64)
static_assert(offsetof(VnetNodeEntry, aliases) == 8 && offsetof(VnetNodeEntry, addressLength) == 16 &&
              offsetof(VnetNodeEntry, address) == 24 && sizeof(VnetNodeEntry) == 32);
#else
static_assert(offsetof(VnetNodeEntry, aliases) == 4 && offsetof(VnetNodeEntry, addressLength) == 8 &&
              offsetof(VnetNodeEntry, address) == 12 && sizeof(VnetNodeEntry) == 16);
#endif

extern "C" {
// Parses "area.node" (decimal digits only, nothing before or after); null when the text is no
// address or a number is out of range.
VnetAddressRecord* WINAPI vnet_addr(const char* text);
// Formats a 2-byte address as "area.node"; null for a record of another length.
char* WINAPI vnet_ntoa(const VnetAddressRecord* record);
// Looks a node up by name, letter case ignored; null when the database has no such node.
VnetNodeEntry* WINAPI getnodebyname(const char* name);
// Looks a node up by its 2 address bytes in family 12; null for another length or family, or
// when the database has no node of that address.
VnetNodeEntry* WINAPI getnodebyaddr(const char* address, int length, int family);

// The transport: a stream to a node, for a print job. Each waits `timeoutMs` (given at connect)
// at most; a failure leaves a code as the last-error code.
struct VnetConnection;
// Connects to the node of the 2 address bytes; null with ERROR_BAD_NETPATH when the database
// gives no endpoint for it, else with the network's code.
VnetConnection* WINAPI vnet_connect(const char* address, int length, DWORD timeoutMs);
// Sends all `size` bytes; answers how many went out, fewer only on failure.
int WINAPI vnet_send(VnetConnection* connection, const char* data, int size);
// With `finish`, ends the sending side and waits until the node has closed its side: answers 0
// once it has, else the network's code. Without, ends at once and answers 0. Always releases
// the connection.
int WINAPI vnet_close(VnetConnection* connection, BOOL finish);
}
