// vnetw: a small VTLnet library. Its nodes come from the text file vnetnodes.txt beside the DLL,
// read afresh on every lookup, so that an administrator's edits count at once and the library
// keeps no shared state to guard.
#include "vnetw.h"

#include <winsock.h>

#include <cstdio>
#include <cstring>
#include <new>

namespace {

constexpr char kNodeFileName[] = "vnetnodes.txt";
constexpr size_t kLineSize = 256;

HMODULE LibraryModule = nullptr;

// What the entry points answer: one set per thread, as WinSock keeps its host entry.
struct ThreadRecords {
  VnetAddressRecord parsed;
  char text[sizeof "63.1023"];
  VnetNodeEntry node;
  char name[kVnetMaxNameLength + 1];
  char* noAliases[1];
  unsigned char address[2];
};
thread_local ThreadRecords Records;

// One node as a line of the database gives it.
struct NodeLine {
  unsigned value;  // area * 1024 + node
  char name[kVnetMaxNameLength + 1];
  sockaddr_in endpoint;  // where the transport reaches the node; port 0 when the line gives none
};

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

const char* SkipBlanks(const char* text) {
  while (IsBlank(*text)) ++text;
  return text;
}

// A token ends at a blank, at a comment or at the end of the line.
const char* TokenEnd(const char* text) {
  while (*text && *text != '#' && !IsBlank(*text)) ++text;
  return text;
}

// Reads a decimal number of at most `maximum` and moves past its digits.
bool ReadNumber(const char*& text, unsigned maximum, unsigned* number) {
  if (!IsDigit(*text)) return false;
  unsigned value = 0;
  for (; IsDigit(*text); ++text) {
    value = value * 10 + static_cast<unsigned>(*text - '0');
    if (value > maximum) return false;
  }
  *number = value;
  return true;
}

// "area.node" filling exactly [text, end).
bool ParseAddress(const char* text, const char* end, unsigned* value) {
  unsigned area = 0;
  unsigned node = 0;
  if (!ReadNumber(text, kVnetMaxArea, &area) || *text != '.') return false;
  ++text;
  if (!ReadNumber(text, kVnetMaxNode, &node) || text != end) return false;
  *value = area * (kVnetMaxNode + 1) + node;
  return true;
}

// "a.b.c.d:port" filling exactly [text, end), port 1 to 65535.
bool ParseEndpoint(const char* text, const char* end, sockaddr_in* endpoint) {
  const char* colon = static_cast<const char*>(memchr(text, ':', static_cast<size_t>(end - text)));
  if (!colon || colon - text > 15) return false;
  char host[16] = {};
  memcpy(host, text, static_cast<size_t>(colon - text));
  unsigned port = 0;
  const char* number = colon + 1;
  if (!ReadNumber(number, 65535, &port) || number != end || port == 0) return false;
  endpoint->sin_family = AF_INET;
  endpoint->sin_addr.s_addr = inet_addr(host);
  endpoint->sin_port = htons(static_cast<unsigned short>(port));
  return endpoint->sin_addr.s_addr != INADDR_NONE;
}

// "address name", then optionally the transport's endpoint, then optionally a comment; false for
// blank lines, comments and malformed lines.
bool ParseNodeLine(const char* line, NodeLine* node) {
  const char* address = SkipBlanks(line);
  const char* addressEnd = TokenEnd(address);
  if (addressEnd == address || !ParseAddress(address, addressEnd, &node->value)) return false;
  const char* name = SkipBlanks(addressEnd);
  const char* nameEnd = TokenEnd(name);
  size_t length = static_cast<size_t>(nameEnd - name);
  if (length == 0 || length > kVnetMaxNameLength) return false;
  const char* rest = SkipBlanks(nameEnd);
  node->endpoint = {};
  if (*rest && *rest != '#') {
    const char* endpointEnd = TokenEnd(rest);
    if (!ParseEndpoint(rest, endpointEnd, &node->endpoint)) return false;
    rest = SkipBlanks(endpointEnd);
  }
  if (*rest && *rest != '#') return false;
  memcpy(node->name, name, length);
  node->name[length] = '\0';
  return true;
}

bool NodeFilePath(char (&path)[MAX_PATH]) {
  DWORD length = GetModuleFileNameA(LibraryModule, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  while (length && path[length - 1] != '\\' && path[length - 1] != '/') --length;
  if (length + sizeof kNodeFileName > MAX_PATH) return false;
  memcpy(path + length, kNodeFileName, sizeof kNodeFileName);
  return true;
}

// The first node of the database, in file order, for which `matches` is true. A line too long
// for the line buffer is malformed and skipped whole.
template <class Match>
bool FindNode(Match matches, NodeLine* found) {
  char path[MAX_PATH];
  if (!NodeFilePath(path)) return false;
  FILE* file = fopen(path, "r");
  if (!file) return false;
  bool result = false;
  bool inLongLine = false;
  char line[kLineSize];
  while (fgets(line, sizeof line, file)) {
    bool lineEnds = strchr(line, '\n') || feof(file);
    bool skip = inLongLine || !lineEnds;
    inLongLine = !lineEnds;
    if (!skip && ParseNodeLine(line, found) && matches(*found)) {
      result = true;
      break;
    }
  }
  fclose(file);
  return result;
}

void StoreAddress(unsigned value, unsigned char (&bytes)[2]) {
  bytes[0] = static_cast<unsigned char>(value & 0xFF);
  bytes[1] = static_cast<unsigned char>(value >> 8);
}

VnetNodeEntry* AnswerNode(const NodeLine& found) {
  ThreadRecords& records = Records;
  memcpy(records.name, found.name, sizeof records.name);
  records.noAliases[0] = nullptr;
  StoreAddress(found.value, records.address);
  records.node.name = records.name;
  records.node.aliases = records.noAliases;
  records.node.addressLength = sizeof records.address;
  records.node.address = records.address;
  return &records.node;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) LibraryModule = instance;
  return TRUE;
}

VnetAddressRecord* WINAPI vnet_addr(const char* text) {
  unsigned value = 0;
  if (!text || !ParseAddress(text, text + strlen(text), &value)) return nullptr;
  VnetAddressRecord& parsed = Records.parsed;
  parsed.length = sizeof parsed.address;
  StoreAddress(value, parsed.address);
  return &parsed;
}

char* WINAPI vnet_ntoa(const VnetAddressRecord* record) {
  if (!record || record->length != sizeof record->address) return nullptr;
  unsigned value = record->address[0] | static_cast<unsigned>(record->address[1]) << 8;
  char* text = Records.text;
  snprintf(text, sizeof Records.text, "%u.%u", value / (kVnetMaxNode + 1), value % (kVnetMaxNode + 1));
  return text;
}

VnetNodeEntry* WINAPI getnodebyname(const char* name) {
  if (!name || !*name) return nullptr;
  NodeLine found;
  auto sameName = [name](const NodeLine& node) { return lstrcmpiA(node.name, name) == 0; };
  return FindNode(sameName, &found) ? AnswerNode(found) : nullptr;
}

VnetNodeEntry* WINAPI getnodebyaddr(const char* address, int length, int family) {
  if (!address || length != 2 || family != kVnetFamily) return nullptr;
  auto* bytes = reinterpret_cast<const unsigned char*>(address);
  unsigned value = bytes[0] | static_cast<unsigned>(bytes[1]) << 8;
  NodeLine found;
  auto sameAddress = [value](const NodeLine& node) { return node.value == value; };
  return FindNode(sameAddress, &found) ? AnswerNode(found) : nullptr;
}

struct VnetConnection {
  SOCKET socket;
  DWORD timeoutMs;
};

namespace {

VnetConnection* FailConnect(VnetConnection* connection, DWORD error) {
  if (connection->socket != INVALID_SOCKET) closesocket(connection->socket);
  delete connection;
  WSACleanup();
  SetLastError(error);
  return nullptr;
}

}  // namespace

VnetConnection* WINAPI vnet_connect(const char* address, int length, DWORD timeoutMs) {
  if (!address || length != 2) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto* bytes = reinterpret_cast<const unsigned char*>(address);
  unsigned value = bytes[0] | static_cast<unsigned>(bytes[1]) << 8;
  NodeLine found;
  auto reachable = [value](const NodeLine& node) { return node.value == value; };
  if (!FindNode(reachable, &found) || found.endpoint.sin_port == 0) {
    SetLastError(ERROR_BAD_NETPATH);
    return nullptr;
  }
  WSADATA data;
  if (WSAStartup(MAKEWORD(1, 1), &data) != 0) {
    SetLastError(WSASYSNOTREADY);
    return nullptr;
  }
  auto* connection = new (std::nothrow) VnetConnection{socket(AF_INET, SOCK_STREAM, 0), timeoutMs};
  if (!connection) {
    WSACleanup();
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  // A bounded connect: non-blocking, then a wait for the outcome; blocking again with timeouts.
  u_long mode = 1;
  if (connection->socket == INVALID_SOCKET || ioctlsocket(connection->socket, FIONBIO, &mode) != 0) {
    return FailConnect(connection, static_cast<DWORD>(WSAGetLastError()));
  }
  if (connect(connection->socket, reinterpret_cast<sockaddr*>(&found.endpoint), sizeof found.endpoint) != 0 &&
      WSAGetLastError() != WSAEWOULDBLOCK) {
    return FailConnect(connection, static_cast<DWORD>(WSAGetLastError()));
  }
  fd_set written;
  fd_set failed;
  FD_ZERO(&written);
  FD_ZERO(&failed);
  FD_SET(connection->socket, &written);
  FD_SET(connection->socket, &failed);
  timeval limit = {static_cast<long>(timeoutMs / 1000), static_cast<long>(timeoutMs % 1000) * 1000};
  int ready = select(0, nullptr, &written, &failed, &limit);
  if (ready <= 0 || FD_ISSET(connection->socket, &failed)) {
    int error = 0;
    int size = sizeof error;
    getsockopt(connection->socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size);
    return FailConnect(connection, ready == 0 ? WSAETIMEDOUT : error ? static_cast<DWORD>(error) : WSAECONNREFUSED);
  }
  mode = 0;
  ioctlsocket(connection->socket, FIONBIO, &mode);
  setsockopt(connection->socket, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<char*>(&timeoutMs), sizeof timeoutMs);
  setsockopt(connection->socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<char*>(&timeoutMs), sizeof timeoutMs);
  return connection;
}

int WINAPI vnet_send(VnetConnection* connection, const char* data, int size) {
  int sent = 0;
  while (connection && sent < size) {
    int result = send(connection->socket, data + sent, size - sent, 0);
    if (result <= 0) {
      SetLastError(result == 0 ? WSAECONNRESET : static_cast<DWORD>(WSAGetLastError()));
      break;
    }
    sent += result;
  }
  return sent;
}

int WINAPI vnet_close(VnetConnection* connection, BOOL finish) {
  if (!connection) return ERROR_INVALID_PARAMETER;
  int error = 0;
  if (finish && shutdown(connection->socket, 1) != 0) error = WSAGetLastError();
  DWORD start = GetTickCount();
  for (char discarded[512]; finish && !error;) {
    int got = recv(connection->socket, discarded, sizeof discarded, 0);
    if (got == 0) break;
    if (got < 0) error = WSAGetLastError();
    if (got > 0 && GetTickCount() - start >= connection->timeoutMs) error = WSAETIMEDOUT;
  }
  closesocket(connection->socket);
  delete connection;
  WSACleanup();
  return error;
}
