// vnetw: a small VTLnet library. Its nodes come from the text file vnetnodes.txt beside the DLL,
// read afresh on every lookup, so that an administrator's edits count at once and the library
// keeps no shared state to guard.
#include "vnetw.h"

#include <cstdio>
#include <cstring>

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

// "address name", then optionally a comment; false for blank lines, comments and malformed lines.
bool ParseNodeLine(const char* line, NodeLine* node) {
  const char* address = SkipBlanks(line);
  const char* addressEnd = TokenEnd(address);
  if (addressEnd == address || !ParseAddress(address, addressEnd, &node->value)) return false;
  const char* name = SkipBlanks(addressEnd);
  const char* nameEnd = TokenEnd(name);
  size_t length = static_cast<size_t>(nameEnd - name);
  if (length == 0 || length > kVnetMaxNameLength) return false;
  const char* rest = SkipBlanks(nameEnd);
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
