// Input validation rules.
#include "rules/validate.h"

#include <winsock2.h>
#include <winspool.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/memory.h"
#include "model/portlist.h"
#include "model/store.h"
#include "names/resolve.h"
#include "resource.h"

// "area.node" with area 0 to 63 and node 0 to 1023, read as by sscanf("%u.%u"): blanks before a
// number are skipped and what follows the node is not looked at.
static bool ParseVnetAddress(const char* text);
// Whether the root of the path's drive (the current drive's without one) is a CD-ROM drive, or
// a volume whose file system is plain "FAT".
static bool IsCdromPath(const char* path);
static bool IsFatVolume(const char* path);

namespace {

constexpr DWORD kVnetNameMaxLength = 6;
constexpr unsigned kVnetAreaMax = 63;
constexpr unsigned kVnetNodeMax = 1023;

bool Refuse(UINT* messageId, UINT id) {
  if (messageId) *messageId = id;
  return false;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// ASCII only: bytes above 127 are letters of no range here.
bool IsLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool ComesBefore(const std::string& left, const std::string& right) {
  return lstrcmpiA(left.c_str(), right.c_str()) < 0;
}

// Whether the monitor's store holds a port of that name, in any case; false before initialisation.
// The registry finds the key by name, so this costs the same whatever the number of ports.
bool IsStoredPortName(const char* name) {
  if (!MonitorKeyPath) return false;
  PortEntry stored;
  return StoreFindPort(MonitorKeyPath, name, &stored);
}

bool IsStoredTraceFile(const char* path) {
  if (!MonitorKeyPath) return false;
  LogOptions options = {};
  if (!StoreReadLogOptions(MonitorKeyPath, &options)) return false;
  return strcmp(options.traceFile, path) == 0;
}

// False only when the file system says the path names nothing; an unanswered question counts as
// existing, so that nothing that may hold data is removed.
bool MayExist(const char* path) {
  if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) return true;
  DWORD error = GetLastError();
  return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

// The root directory of the path's drive: "C:\", or "\" when the path names no drive.
void RootOf(const char* path, char (&root)[_MAX_DRIVE + 1]) {
  char drive[_MAX_DRIVE] = {};
  _splitpath(path, drive, nullptr, nullptr, nullptr);
  snprintf(root, sizeof root, "%s\\", drive);
}

}  // namespace

SpoolerPortNames ReadSpoolerPortNames() {
  SpoolerPortNames names;
  DWORD neededBytes = 0;
  DWORD returned = 0;
  EnumPortsA(nullptr, 1, nullptr, 0, &neededBytes, &returned);
  BYTE* buffer = nullptr;
  if (MemAllocate(neededBytes, &buffer) != EXC_S_SUCCESS) {
    names.refusal = IDS_PORT_NAME_NO_MEMORY;
    return names;
  }
  if (!EnumPortsA(nullptr, 1, buffer, neededBytes, &neededBytes, &returned)) {
    MemFree(&buffer);
    names.refusal = IDS_PORT_NAME_UNCHECKED;
    return names;
  }
  const auto* ports = reinterpret_cast<const PORT_INFO_1A*>(buffer);
  for (DWORD i = 0; i < returned; ++i) {
    if (ports[i].pName) names.sorted.push_back(ports[i].pName);
  }
  MemFree(&buffer);
  std::sort(names.sorted.begin(), names.sorted.end(), ComesBefore);
  return names;
}

bool CheckPortNameAgainst(const char* name, const SpoolerPortNames& spooler, UINT* messageId) {
  if (!*name) return Refuse(messageId, IDS_PORT_NAME_EMPTY);
  if (strchr(name, '\\')) return Refuse(messageId, IDS_PORT_NAME_BACKSLASH);
  if (spooler.refusal) return Refuse(messageId, spooler.refusal);
  if (std::binary_search(spooler.sorted.begin(), spooler.sorted.end(), std::string(name), ComesBefore)) {
    return Refuse(messageId, IDS_PORT_NAME_IN_USE);
  }
  if (IsStoredPortName(name)) return Refuse(messageId, IDS_PORT_NAME_IN_USE);
  return true;
}

bool CheckPortName(const char* name, UINT* messageId) {
  if (!*name) return Refuse(messageId, IDS_PORT_NAME_EMPTY);
  if (strchr(name, '\\')) return Refuse(messageId, IDS_PORT_NAME_BACKSLASH);  // before any list is asked for
  return CheckPortNameAgainst(name, ReadSpoolerPortNames(), messageId);
}

bool CheckTcpName(const char* name, UINT* messageId) {
  for (const char* c = name; *c; ++c) {
    if (!IsDigit(*c) && !IsLetter(*c) && *c != '.' && *c != '-') return Refuse(messageId, IDS_TCP_NAME_CHARACTERS);
  }
  return true;
}

bool CheckTcpAddress(const char* address, UINT* messageId) {
  if (!*address) return Refuse(messageId, IDS_TCP_ADDRESS_EMPTY);
  // 255.255.255.255 reads as INADDR_NONE as well, so it is refused with the unreadable texts.
  if (inet_addr(address) == INADDR_NONE) return Refuse(messageId, IDS_TCP_ADDRESS_INCORRECT);
  return true;
}

bool CheckVnetName(const char* name, UINT* messageId) {
  size_t length = strlen(name);
  if (length == 0) return true;
  if (length > kVnetNameMaxLength) return Refuse(messageId, IDS_VNET_NAME_CHARACTERS);
  bool hasLetter = false;
  for (const char* c = name; *c; ++c) {
    if (!IsDigit(*c) && !IsLetter(*c)) return Refuse(messageId, IDS_VNET_NAME_CHARACTERS);
    hasLetter = hasLetter || IsLetter(*c);
  }
  return hasLetter ? true : Refuse(messageId, IDS_VNET_NAME_CHARACTERS);
}

bool CheckVnetAddress(const char* address, UINT* messageId) {
  if (!*address) return Refuse(messageId, IDS_VNET_ADDRESS_EMPTY);
  if (VnetAddr(address)) return true;
  if (ParseVnetAddress(address)) return true;
  return Refuse(messageId, IDS_VNET_ADDRESS_INCORRECT);
}

bool CheckLogLevel(DWORD level, UINT* messageId) {
  return level <= 3 ? true : Refuse(messageId, IDS_LOG_LEVEL_RANGE);
}

bool CheckTraceFile(const char* path, UINT* messageId) {
  if (!*path) return Refuse(messageId, IDS_TRACE_FILE_REQUIRED);
  if (IsStoredTraceFile(path)) return true;

  if (FILE* file = fopen(path, "r")) {
    fclose(file);
    return IsCdromPath(path) ? Refuse(messageId, IDS_TRACE_FILE_UNOPENED) : true;
  }

  // Appending proves the file can be written, and creates it when it is not there: remember
  // which names were free, so that only what this check created is removed afterwards. A volume
  // that keeps only 8.3 names stores a new file under its short name.
  bool existed = MayExist(path);
  char shortName[MAX_PATH];
  bool shortNameFree = !existed && IsFatVolume(path) && MakeShortName(path, shortName, sizeof shortName) &&
                       !MayExist(shortName);

  FILE* file = fopen(path, "a");
  if (!file) return Refuse(messageId, IDS_TRACE_FILE_UNOPENED);
  long length = fseek(file, 0, SEEK_END) == 0 ? ftell(file) : -1;
  fclose(file);
  if (!existed && length == 0) {
    remove(path);
    if (shortNameFree) remove(shortName);
  }
  return true;
}

bool CheckInputTray(int /*tray*/, UINT* /*messageId*/) {
  return true;
}

bool CheckOutputTray(int /*tray*/, UINT* /*messageId*/) {
  return true;
}

bool ParseVnetAddress(const char* text) {
  unsigned area = 0;
  unsigned node = 0;
  if (sscanf(text, "%u.%u", &area, &node) != 2) return false;
  return area <= kVnetAreaMax && node <= kVnetNodeMax;
}

bool IsCdromPath(const char* path) {
  char root[_MAX_DRIVE + 1];
  RootOf(path, root);
  return GetDriveTypeA(root) == DRIVE_CDROM;
}

bool IsFatVolume(const char* path) {
  char root[_MAX_DRIVE + 1];
  RootOf(path, root);
  char fileSystem[9] = {};
  if (!GetVolumeInformationA(root, nullptr, 0, nullptr, nullptr, nullptr, fileSystem, 8)) return false;
  fileSystem[8] = '\0';
  return strcmp(fileSystem, "FAT") == 0;
}

char* MakeShortName(const char* path, char* shortName, size_t size) {
  // Every part of a path shorter than _MAX_DIR fits the split buffers.
  if (strlen(path) >= _MAX_DIR) return nullptr;
  char drive[_MAX_DRIVE];
  char directory[_MAX_DIR];
  char baseName[_MAX_FNAME];
  char extension[_MAX_EXT];
  _splitpath(path, drive, directory, baseName, extension);
  baseName[8] = '\0';
  extension[4] = '\0';
  char joined[_MAX_PATH];
  _makepath(joined, drive, directory, baseName, extension);
  size_t length = strlen(joined);
  if (length >= size) return nullptr;
  memcpy(shortName, joined, length + 1);
  return shortName;
}
