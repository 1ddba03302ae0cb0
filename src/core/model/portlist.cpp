// The monitor's port list and entry points.
#include "model/portlist.h"

#include <winspool.h>

#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/memory.h"
#include "base/scoped.h"
#include "diag/eventlog.h"
#include "model/store.h"

// The record of level 1 or 2 with its texts.
static DWORD PortInfoSize(const PortEntry* entry, DWORD level);
// Writes the entry's record of level 1 or 2 at `record` and its texts below `stringEnd`; answers
// the new end.
static BYTE* CopyPortInfo(const PortEntry* entry, DWORD level, BYTE* record, BYTE* stringEnd);
// Packs the strings below `stringEnd` and stores their addresses at the record offsets given
// (the table ends with 0xFFFFFFFF); a null string stores null. Answers the new end.
static BYTE* PackStrings(const char* const* strings, BYTE* record, const DWORD* offsets, BYTE* stringEnd);

char* MonitorKeyPath = nullptr;
LogOptions MonitorLogOptions = {};

namespace {

PortEntry* PortListHead = nullptr;
CRITICAL_SECTION PortListLock;
bool monitorReady = false;

constexpr DWORD kPortInfo1Size = sizeof(PORT_INFO_1A);
static_assert(kPortInfo1Size == sizeof(char*), "a level-1 port record holds one pointer");
constexpr DWORD kPortInfo2Size = sizeof(PORT_INFO_2A);
static_assert(kPortInfo2Size == 3 * sizeof(char*) + 2 * sizeof(DWORD),
              "a level-2 port record: three texts, two numbers");

DWORD RecordSize(DWORD level) {
  return level == 1 ? kPortInfo1Size : kPortInfo2Size;
}

DWORD TextSize(const char* text) {
  return static_cast<DWORD>(strlen(text)) + 1;
}

BOOL FailNotReady() {
  SetLastError(ERROR_NOT_READY);
  return FALSE;
}

BOOL FailEntryPoint() {
  NormalizeLastError();
  return FALSE;
}

void FreeChain(PortEntry* entry) {
  while (entry) {
    PortEntry* next = entry->next;
    MemFree(&entry);
    entry = next;
  }
}

// The first node of exactly that name; the caller holds the lock.
PortEntry* FindLocked(const char* portName) {
  for (PortEntry* entry = PortListHead; entry; entry = entry->next) {
    if (strcmp(entry->portName, portName) == 0) return entry;
  }
  return nullptr;
}

// Drops the list and loads it again; the caller holds the lock.
void ReloadLocked() {
  FreeChain(PortListHead);
  PortListHead = StoreReadPorts(MonitorKeyPath);
}

}  // namespace

void NormalizeLastError() {
  if (GetLastError() == 0) SetLastError(1);
  if (GetLastError() > 1900) SetLastError(59);
}

BOOL MonitorInitialize(const char* keyPath) {
  if (monitorReady) MonitorShutdown();
  EvRegisterSource();
  const char* path = keyPath && *keyPath ? keyPath : kDefaultMonitorKeyPath;
  MonitorLogOptions = StoreLogOptionsOrDefaults(path);
  EvSetLevel(MonitorLogOptions.loggingLevel);

  size_t pathSize = strlen(path) + 1;
  if (MemAllocate(pathSize, &MonitorKeyPath) != EXC_S_SUCCESS) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FailEntryPoint();
  }
  memcpy(MonitorKeyPath, path, pathSize);
  InitializeCriticalSection(&PortListLock);

  PortEntry* ports = StoreReadPorts(MonitorKeyPath);
  {
    ScopedLock lock(PortListLock);
    PortListHead = ports;
  }
  monitorReady = true;
  return TRUE;
}

void MonitorShutdown() {
  if (!monitorReady) return;
  monitorReady = false;
  FreeChain(PortListHead);
  PortListHead = nullptr;
  DeleteCriticalSection(&PortListLock);
  MemFree(&MonitorKeyPath);
}

const char* PortDescription(const PortEntry* entry) {
  return entry->protocol == kProtocolVnet ? "Pressmark port over VTLnet" : "Pressmark port over TCP/IP";
}

DWORD PortInfoSize(const PortEntry* entry, DWORD level) {
  DWORD size = RecordSize(level) + TextSize(entry->portName);
  if (level == 2) size += TextSize(kMonitorName) + TextSize(PortDescription(entry));
  return size;
}

BYTE* PackStrings(const char* const* strings, BYTE* record, const DWORD* offsets, BYTE* stringEnd) {
  for (; *offsets != kOffsetTableEnd; ++offsets, ++strings) {
    char* packed = nullptr;
    if (*strings) {
      size_t size = strlen(*strings) + 1;
      stringEnd -= size;
      memcpy(stringEnd, *strings, size);
      packed = reinterpret_cast<char*>(stringEnd);
    }
    memcpy(record + *offsets, &packed, sizeof packed);
  }
  return stringEnd;
}

BYTE* CopyPortInfo(const PortEntry* entry, DWORD level, BYTE* record, BYTE* stringEnd) {
  if (level == 1) {
    static const DWORD kPortInfo1Offsets[] = {offsetof(PORT_INFO_1A, pName), kOffsetTableEnd};
    const char* strings[] = {entry->portName};
    return PackStrings(strings, record, kPortInfo1Offsets, stringEnd);
  }
  static const DWORD kPortInfo2Offsets[] = {offsetof(PORT_INFO_2A, pPortName), offsetof(PORT_INFO_2A, pMonitorName),
                                            offsetof(PORT_INFO_2A, pDescription), kOffsetTableEnd};
  const char* strings[] = {entry->portName, kMonitorName, PortDescription(entry)};
  // Every port of this monitor takes jobs and gives nothing back.
  DWORD portType = PORT_TYPE_WRITE;
  DWORD reserved = 0;
  memcpy(record + offsetof(PORT_INFO_2A, fPortType), &portType, sizeof portType);
  memcpy(record + offsetof(PORT_INFO_2A, Reserved), &reserved, sizeof reserved);
  return PackStrings(strings, record, kPortInfo2Offsets, stringEnd);
}

BOOL MonitorEnumPorts(const char* /*serverName*/, DWORD level, BYTE* buffer, DWORD bufferSize, DWORD* needed,
                      DWORD* returned) {
  if (!monitorReady) {
    FailNotReady();
    return FailEntryPoint();
  }
  if (level != 1 && level != 2) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FailEntryPoint();
  }
  if (StoreTakeUpdate(MonitorKeyPath)) {
    ScopedLock lock(PortListLock);
    ReloadLocked();
  }

  DWORD error = ERROR_SUCCESS;
  {
    ScopedLock lock(PortListLock);
    DWORD total = 0;
    for (PortEntry* entry = PortListHead; entry; entry = entry->next) total += PortInfoSize(entry, level);
    *needed = total;
    if (total > bufferSize) {
      error = ERROR_INSUFFICIENT_BUFFER;
    } else {
      *returned = 0;
      BYTE* record = buffer;
      BYTE* stringEnd = buffer + bufferSize;
      for (PortEntry* entry = PortListHead; entry; entry = entry->next) {
        stringEnd = CopyPortInfo(entry, level, record, stringEnd);
        record += RecordSize(level);
        ++*returned;
      }
    }
  }
  if (error == ERROR_SUCCESS) return TRUE;
  SetLastError(error);
  return FailEntryPoint();
}

BOOL MonitorOpenPort(const char* portName, HANDLE* handle) {
  OpenPort* open = nullptr;
  if (MemAllocateZeroed(sizeof *open, &open) != EXC_S_SUCCESS) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FailEntryPoint();
  }
  // A port added since the list was read (by a program that wrote the store) is found there.
  if (!CopyPortEntry(portName, &open->port) && !(ReloadPortList() && CopyPortEntry(portName, &open->port))) {
    MemFree(&open);
    EvReport1(EVT_PORT_NOT_FOUND, portName);
    SetLastError(ERROR_UNKNOWN_PORT);
    return FailEntryPoint();
  }
  *handle = open;
  return TRUE;
}

BOOL MonitorRefreshOpenPort(struct OpenPort* open) {
  if (!monitorReady) return FailNotReady();
  PortEntry stored = {};
  if (StoreReadNamedPort(MonitorKeyPath, open->port.portName, &stored)) {
    open->port = stored;
    return TRUE;
  }
  if (GetLastError() != ERROR_FILE_NOT_FOUND) return TRUE;  // unreadable now: the settings it was opened with
  EvReport1(EVT_PORT_NOT_FOUND, open->port.portName);
  SetLastError(ERROR_UNKNOWN_PORT);
  return FALSE;
}

PortEntry* FindPortEntry(const char* portName) {
  if (!monitorReady) {
    FailNotReady();
    return nullptr;
  }
  ScopedLock lock(PortListLock);
  return FindLocked(portName);
}

BOOL CopyPortEntry(const char* portName, PortEntry* copy) {
  if (!monitorReady) return FailNotReady();
  ScopedLock lock(PortListLock);
  PortEntry* entry = FindLocked(portName);
  if (!entry) return FALSE;
  *copy = *entry;
  copy->next = nullptr;
  return TRUE;
}

BOOL ReplacePortEntry(const char* portName, const PortEntry* changed) {
  if (!monitorReady) return FailNotReady();
  ScopedLock lock(PortListLock);
  PortEntry* entry = FindLocked(portName);
  if (!entry) return FALSE;
  PortEntry* next = entry->next;
  *entry = *changed;
  entry->next = next;
  return TRUE;
}

void MonitorGetLogOptions(LogOptions* options) {
  if (!monitorReady) {
    *options = MonitorLogOptions;
    return;
  }
  ScopedLock lock(PortListLock);
  *options = MonitorLogOptions;
}

void MonitorSetLogOptions(const LogOptions* options) {
  if (!monitorReady) return;
  ScopedLock lock(PortListLock);
  MonitorLogOptions = *options;
}

BOOL AddPortEntry(PortEntry* entry) {
  if (!monitorReady) return FailNotReady();
  ScopedLock lock(PortListLock);
  entry->next = PortListHead;
  PortListHead = entry;
  return TRUE;
}

BOOL RemovePortEntry(const char* portName) {
  if (!monitorReady) return FailNotReady();
  ScopedLock lock(PortListLock);
  for (PortEntry** link = &PortListHead; *link; link = &(*link)->next) {
    PortEntry* entry = *link;
    if (strcmp(entry->portName, portName) != 0) continue;
    *link = entry->next;
    MemFree(&entry);
    return TRUE;
  }
  return FALSE;
}

namespace {

// A port read back from the store: its node, or the name it was asked by when it no longer reads.
struct Reread {
  PortEntry* entry;
  std::string name;
  bool gone;
};

// Links or swaps in each read-back port, and unlinks each that no longer reads; the caller holds
// the lock. The list is indexed by name once when many ports come back, so the cost stays per port.
void MergeLocked(std::vector<Reread>& reread) {
  std::unordered_map<std::string, PortEntry*> index;
  if (reread.size() > 1) {
    for (PortEntry* entry = PortListHead; entry; entry = entry->next) index.emplace(entry->portName, entry);
  }
  auto find = [&](const char* name) -> PortEntry* {
    if (reread.size() <= 1) return FindLocked(name);
    auto found = index.find(name);
    return found == index.end() ? nullptr : found->second;
  };
  for (Reread& port : reread) {
    if (!port.entry) continue;
    PortEntry* held = find(port.entry->portName);
    if (!held) {
      port.entry->next = PortListHead;
      PortListHead = port.entry;
      index[port.entry->portName] = port.entry;
      port.entry = nullptr;  // the list owns it
      continue;
    }
    PortEntry* next = held->next;
    *held = *port.entry;
    held->next = next;
  }
}

// Merges the read-back ports under one hold of the lock, then frees what the list did not take.
void MergeAndFree(std::vector<Reread>& reread) {
  {
    ScopedLock lock(PortListLock);
    MergeLocked(reread);
  }
  for (Reread& port : reread) {
    if (port.gone) RemovePortEntry(port.name.c_str());
    MemFree(&port.entry);  // a copy that replaced a node; null for one the list took
  }
}

}  // namespace

BOOL RereadPortEntries(const char* const* portNames, size_t count) {
  if (!monitorReady) return FailNotReady();
  std::vector<Reread> reread;
  reread.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    PortEntry* entry = nullptr;
    if (MemAllocateZeroed(sizeof *entry, &entry) != EXC_S_SUCCESS) break;
    if (!StoreFindPort(MonitorKeyPath, portNames[i], entry)) MemFree(&entry);
    reread.push_back({entry, portNames[i], entry == nullptr});
  }
  MergeAndFree(reread);
  return TRUE;
}

BOOL MergePortEntries(const PortEntry* ports, size_t count) {
  if (!monitorReady) return FailNotReady();
  std::vector<Reread> merged;
  merged.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    PortEntry* entry = nullptr;
    if (MemAllocateZeroed(sizeof *entry, &entry) != EXC_S_SUCCESS) break;
    *entry = ports[i];
    entry->next = nullptr;
    merged.push_back({entry, ports[i].portName, false});
  }
  MergeAndFree(merged);
  return TRUE;
}

BOOL ReloadPortList() {
  if (!monitorReady) return FailNotReady();
  ScopedLock lock(PortListLock);
  ReloadLocked();
  return TRUE;
}
