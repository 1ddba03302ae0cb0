// Reading side of the registry store: key access, typed value readers, ports and options.
#include "model/store.h"

#include <cstring>
#include <iterator>

#include "base/memory.h"
#include "base/scoped.h"
#include "diag/eventlog.h"
#include "model/settings.h"

static BOOL StoreOpenSubkey(const char* keyPath, const char* subkeyName, HKEY* key);

namespace {

// Readers ask for reading only, so a user who may only read the monitor key still sees every
// port; only the writers ask for more.
constexpr REGSAM kReadAccess = KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS;
constexpr REGSAM kWriteAccess = kReadAccess | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;
constexpr DWORD kValueBufferSize = 30;

BOOL Fail(LONG error) {
  SetLastError(static_cast<DWORD>(error));
  return FALSE;
}

// Reports a value whose registry type does not fit what the reader expects.
BOOL FailBadType(const char* expected, const char* valueName) {
  EvReport2(EVT_BAD_VALUE_TYPE, expected, valueName);
  return Fail(ERROR_INVALID_DATA);
}

// A port key's values as one enumeration found them: reading a port then costs a registry round trip
// per value it holds, not one per value it might hold. Data larger than any reader takes is kept
// as its size alone.
constexpr DWORD kLargestRead = 64;

constexpr bool OptionalTextsFit() {
  for (const Setting& setting : kPortSettings) {
    if (setting.optional && setting.type == SettingType::Text && setting.limit > kLargestRead) return false;
  }
  return true;
}
static_assert(kLargestRead >= kValueBufferSize && kLargestRead >= kTcpNameSize && kLargestRead >= kTcpAddressSize &&
                  kLargestRead >= kVnetNameSize && kLargestRead >= kVnetAddressSize && OptionalTextsFit(),
              "every reader's buffer fits a found value's data");
// Each setting's value, "Pressmark", and room for a few values of no setting.
constexpr DWORD kMostPortValues = static_cast<DWORD>(std::size(kPortSettings)) + 8;

struct FoundValue {
  char name[64];
  DWORD type;
  DWORD size;
  BYTE data[kLargestRead];
};

struct PortValues {
  FoundValue values[kMostPortValues];
  DWORD count;
};

// Where the typed readers find a value: the key queried by name, or, when given, the values one
// enumeration of the key found.
struct ValueSource {
  HKEY key;
  const PortValues* found;
};

// Answers as RegQueryValueExA would for the same buffer.
LONG QueryValue(const ValueSource& source, const char* valueName, DWORD* type, BYTE* data, DWORD* size) {
  if (!source.found) return RegQueryValueExA(source.key, valueName, nullptr, type, data, size);
  for (DWORD i = 0; i < source.found->count; ++i) {
    const FoundValue& value = source.found->values[i];
    if (lstrcmpiA(value.name, valueName) != 0) continue;
    *type = value.type;
    bool fits = value.size <= *size;
    if (fits) memcpy(data, value.data, value.size);
    *size = value.size;
    return fits ? ERROR_SUCCESS : ERROR_MORE_DATA;
  }
  return ERROR_FILE_NOT_FOUND;
}

enum class Enumerated { kTaken, kSkipped, kEnd, kFailed };

// Takes the key's value at the index. A value whose name is too long for the table is none of a
// port's and is skipped.
Enumerated EnumerateValue(HKEY key, DWORD index, FoundValue* value) {
  DWORD nameLength = sizeof value->name;
  value->size = sizeof value->data;
  LONG result = RegEnumValueA(key, index, value->name, &nameLength, nullptr, &value->type, value->data, &value->size);
  if (result == ERROR_MORE_DATA) {  // the data or the name does not fit: the name and type alone
    nameLength = sizeof value->name;
    result = RegEnumValueA(key, index, value->name, &nameLength, nullptr, &value->type, nullptr, nullptr);
    if (result == ERROR_MORE_DATA) return Enumerated::kSkipped;
    value->size = kLargestRead + 1;  // more than any reader takes
  }
  if (result == ERROR_SUCCESS) return Enumerated::kTaken;
  return result == ERROR_NO_MORE_ITEMS ? Enumerated::kEnd : Enumerated::kFailed;
}

// Enumerates the port key's values; false when they could not all be taken, and the port is then
// read value by value.
bool FindPortValues(HKEY port, PortValues* found) {
  found->count = 0;
  for (DWORD index = 0;; ++index) {
    FoundValue value;
    switch (EnumerateValue(port, index, &value)) {
    case Enumerated::kEnd:
      return true;
    case Enumerated::kFailed:
      return false;
    case Enumerated::kSkipped:
      break;
    case Enumerated::kTaken:
      if (found->count == kMostPortValues) return false;
      found->values[found->count++] = value;
      break;
    }
  }
}

// Queries a value into a small buffer that always ends with a NUL, whatever the stored data holds.
LONG QuerySmallValue(const ValueSource& source, const char* valueName, DWORD* type, char (&data)[kValueBufferSize]) {
  DWORD size = kValueBufferSize;
  LONG result = QueryValue(source, valueName, type, reinterpret_cast<BYTE*>(data), &size);
  if (result != ERROR_SUCCESS) return result;
  data[size < kValueBufferSize ? size : kValueBufferSize - 1] = '\0';
  return ERROR_SUCCESS;
}

DWORD LeadingDecimal(const char* text) {
  DWORD number = 0;
  for (; *text >= '0' && *text <= '9'; ++text) number = number * 10 + static_cast<DWORD>(*text - '0');
  return number;
}

bool MatchesAny(const char* text, const char* const* words) {
  for (; *words; ++words) {
    if (lstrcmpiA(text, *words) == 0) return true;
  }
  return false;
}

BOOL OpenMonitorKey(const char* keyPath, REGSAM access, HKEY* key) {
  // Without a path the registry would open the root itself; the store never works there.
  if (!keyPath || !*keyPath) return Fail(ERROR_INVALID_PARAMETER);
  LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, access, key);
  return result == ERROR_SUCCESS ? TRUE : Fail(result);
}

// Opens an existing key beneath the monitor key for reading; a missing one is not created.
BOOL OpenSubkeyForReading(const char* keyPath, const char* subkeyName, HKEY* key) {
  ScopedKey monitor;
  if (!OpenMonitorKey(keyPath, kReadAccess, monitor.out())) return FALSE;
  LONG result = RegOpenKeyExA(monitor.get(), subkeyName, 0, kReadAccess, key);
  return result == ERROR_SUCCESS ? TRUE : Fail(result);
}

// The key's own name, in the case it was created with; false when the system does not tell it.
bool StoredKeyName(HKEY key, char* name, int size) {
  struct BasicInformation {  // KEY_BASIC_INFORMATION
    LARGE_INTEGER lastWriteTime;
    ULONG titleIndex;
    ULONG nameLength;
    WCHAR name[kPortNameSize];
  } information;
  using QueryKey = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  static const auto queryKey =
      reinterpret_cast<QueryKey>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryKey")));
  constexpr int kKeyBasicInformation = 0;
  ULONG got = 0;
  if (!queryKey || queryKey(key, kKeyBasicInformation, &information, sizeof information, &got) != 0) return false;
  int length = static_cast<int>(information.nameLength / sizeof(WCHAR));
  int written = WideCharToMultiByte(CP_ACP, 0, information.name, length, name, size - 1, nullptr, nullptr);
  if (written <= 0) return false;
  name[written] = '\0';
  return true;
}

}  // namespace

BOOL StoreOpenMonitorKey(const char* keyPath, HKEY* key) {
  return OpenMonitorKey(keyPath, kWriteAccess, key);
}

BOOL StoreOpenSubkey(const char* keyPath, const char* subkeyName, HKEY* key) {
  ScopedKey monitor;
  if (!StoreOpenMonitorKey(keyPath, monitor.out())) return FALSE;
  char noClass[] = "";
  LONG result = RegCreateKeyExA(monitor.get(), subkeyName, 0, noClass, REG_OPTION_NON_VOLATILE, kWriteAccess,
                                nullptr, key, nullptr);
  return result == ERROR_SUCCESS ? TRUE : Fail(result);
}

BOOL StoreOpenPortsKey(const char* keyPath, HKEY* key) {
  return StoreOpenSubkey(keyPath, "Ports", key);
}

BOOL StoreOpenOptionsKey(const char* keyPath, HKEY* key) {
  return StoreOpenSubkey(keyPath, "Options", key);
}

namespace {

BOOL ReadDword(const ValueSource& source, const char* valueName, DWORD* value) {
  *value = 0;
  char data[kValueBufferSize] = {};
  DWORD type = REG_NONE;
  LONG result = QuerySmallValue(source, valueName, &type, data);
  if (result != ERROR_SUCCESS) return Fail(result);
  switch (type) {
  case REG_DWORD:
    memcpy(value, data, sizeof *value);
    return TRUE;
  case REG_SZ:
    *value = LeadingDecimal(data);
    return TRUE;
  default:
    return FailBadType("DWORD", valueName);
  }
}

BOOL ReadString(const ValueSource& source, const char* valueName, char* text, DWORD size) {
  if (size == 0) return Fail(ERROR_MORE_DATA);
  text[0] = '\0';
  DWORD type = REG_NONE;
  DWORD stored = size;
  LONG result = QueryValue(source, valueName, &type, reinterpret_cast<BYTE*>(text), &stored);
  if (result != ERROR_SUCCESS) {
    text[0] = '\0';
    return Fail(result);
  }
  if (type != REG_SZ) {
    text[0] = '\0';
    return FailBadType("SZ", valueName);
  }
  // A text stored without its terminator is ended inside the buffer; one that fills the whole
  // buffer without a terminator does not fit.
  if (stored == 0 || text[stored - 1] == '\0') return TRUE;
  if (stored < size) {
    text[stored] = '\0';
    return TRUE;
  }
  text[0] = '\0';
  return Fail(ERROR_MORE_DATA);
}

BOOL ReadBool(const ValueSource& source, const char* valueName, DWORD* value) {
  static const char* const kTrueWords[] = {"1", "T", "True", "On", "Y", "Yes", nullptr};
  static const char* const kFalseWords[] = {"0", "F", "False", "Off", "N", "No", nullptr};
  *value = 0;
  char data[kValueBufferSize] = {};
  DWORD type = REG_NONE;
  LONG result = QuerySmallValue(source, valueName, &type, data);
  if (result != ERROR_SUCCESS) return Fail(result);
  if (type == REG_DWORD) {
    DWORD number = 0;
    memcpy(&number, data, sizeof number);
    *value = number != 0;
    return TRUE;
  }
  if (type != REG_SZ) return FailBadType("BOOL", valueName);
  if (MatchesAny(data, kTrueWords)) {
    *value = 1;
    return TRUE;
  }
  if (MatchesAny(data, kFalseWords)) return TRUE;
  EvReport2(EVT_BAD_BOOL_VALUE, "BOOL", valueName);
  return Fail(ERROR_INVALID_DATA);
}

bool ReadTrayPair(const ValueSource& port, const char* flagName, DWORD* flag, const char* numberName, DWORD* number) {
  ReadBool(port, flagName, flag);
  return !*flag || ReadDword(port, numberName, number);
}

// A value that is absent, unreadable or beyond its limit reads as the row's initial one, so that a
// port number out of range sends the job to the usual port.
void ReadOptional(const ValueSource& port, const Setting& setting, PortEntry* entry) {
  if (setting.type == SettingType::Text) {
    ReadString(port, setting.name, SettingsText(setting, entry), setting.limit);
    return;
  }
  DWORD* value = SettingsNumber(setting, entry);
  BOOL read =
      setting.type == SettingType::Flag ? ReadBool(port, setting.name, value) : ReadDword(port, setting.name, value);
  if (!read || *value > setting.limit) *value = setting.initial;
}

// Fills the entry from the port's values; FALSE when the port cannot be used.
BOOL ReadPortValues(HKEY key, PortEntry* entry) {
  PortValues found;
  ValueSource port = {key, FindPortValues(key, &found) ? &found : nullptr};
  if (!ReadDword(port, "Protocol", &entry->protocol)) return FALSE;

  ReadString(port, "VTLnet Name", entry->vnetName, sizeof entry->vnetName);
  ReadString(port, "VTLnet Address", entry->vnetAddress, sizeof entry->vnetAddress);
  ReadString(port, "TCP/IP Name", entry->tcpName, sizeof entry->tcpName);
  ReadString(port, "TCP/IP Address", entry->tcpAddress, sizeof entry->tcpAddress);
  ReadBool(port, "Banner", &entry->banner);

  if (!ReadTrayPair(port, "Set Banner Tray", &entry->setBannerTray, "Banner Tray Number", &entry->bannerTrayNumber) ||
      !ReadTrayPair(port, "Set Output Tray", &entry->setOutputTray, "Output Tray Number", &entry->outputTrayNumber) ||
      !ReadTrayPair(port, "Set Input Tray", &entry->setInputTray, "Input Tray Number", &entry->inputTrayNumber)) {
    return FALSE;
  }

  for (const Setting& setting : kPortSettings) {
    if (setting.optional) ReadOptional(port, setting, entry);
  }

  ReadBool(port, "Pressmark", &entry->pressmarkPrinter);
  ReadBool(port, "VTLlaser TCP/IP", &entry->vtllaserPrinter);
  if (!entry->pressmarkPrinter && !entry->vtllaserPrinter) entry->pressmarkPrinter = 1;
  return TRUE;
}

// Opens the port's key under the open "Ports" key and fills the entry from it, named as asked.
BOOL ReadPortKey(HKEY portsKey, const char* portName, PortEntry* entry, ScopedKey* port) {
  LONG result = RegOpenKeyExA(portsKey, portName, 0, KEY_QUERY_VALUE, port->out());
  if (result != ERROR_SUCCESS) return Fail(result);
  lstrcpynA(entry->portName, portName, sizeof entry->portName);
  return ReadPortValues(port->get(), entry);
}

}  // namespace

BOOL RegReadDword(HKEY key, const char* valueName, DWORD* value) {
  return ReadDword({key, nullptr}, valueName, value);
}

BOOL RegReadString(HKEY key, const char* valueName, char* text, DWORD size) {
  return ReadString({key, nullptr}, valueName, text, size);
}

BOOL RegReadBool(HKEY key, const char* valueName, DWORD* value) {
  return ReadBool({key, nullptr}, valueName, value);
}

PortEntry* StoreReadPorts(const char* keyPath) {
  ScopedKey ports;
  if (!OpenSubkeyForReading(keyPath, "Ports", ports.out())) return nullptr;

  PortEntry* head = nullptr;
  for (DWORD index = 0;; ++index) {
    char name[kPortNameSize];
    DWORD nameLength = sizeof name;
    LONG result = RegEnumKeyExA(ports.get(), index, name, &nameLength, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_MORE_DATA) continue;  // a name too long for a port; the others still load
    if (result != ERROR_SUCCESS) {
      SetLastError(static_cast<DWORD>(result));
      break;
    }
    PortEntry* entry = nullptr;
    if (MemAllocateZeroed(sizeof *entry, &entry) != EXC_S_SUCCESS) break;
    if (!StoreReadPort(entry, ports.get(), name)) {
      MemFree(&entry);
      continue;
    }
    entry->next = head;
    head = entry;
  }
  return head;
}

BOOL StoreReadPort(PortEntry* entry, HKEY portsKey, const char* portName) {
  ScopedKey port;
  return ReadPortKey(portsKey, portName, entry, &port);
}

BOOL StoreReadNamedPort(const char* keyPath, const char* portName, PortEntry* entry) {
  *entry = PortEntry{};
  ScopedKey ports;
  return OpenSubkeyForReading(keyPath, "Ports", ports.out()) && StoreReadPort(entry, ports.get(), portName);
}

BOOL StoreFindPort(const char* keyPath, const char* portName, PortEntry* entry) {
  *entry = PortEntry{};
  ScopedKey ports, port;
  if (!OpenSubkeyForReading(keyPath, "Ports", ports.out()) || !ReadPortKey(ports.get(), portName, entry, &port)) {
    return FALSE;
  }
  StoredKeyName(port.get(), entry->portName, sizeof entry->portName);
  return TRUE;
}

LogOptions StoreLogOptionsOrDefaults(const char* keyPath) {
  LogOptions options = {};
  options.loggingLevel = 1;
  StoreReadLogOptions(keyPath, &options);
  return options;
}

BOOL StoreReadLogOptions(const char* keyPath, LogOptions* options) {
  ScopedKey key;
  if (!OpenSubkeyForReading(keyPath, "Options", key.out())) return FALSE;
  RegReadDword(key.get(), "Logging Level", &options->loggingLevel);
  RegReadBool(key.get(), "Trace", &options->trace);
  if (!RegReadString(key.get(), "Trace File", options->traceFile, sizeof options->traceFile)) options->trace = 0;
  RegReadBool(key.get(), "Bubble", &options->bubble);
  return TRUE;
}

BOOL StoreTakeUpdate(const char* keyPath) {
  DWORD update = 0;
  {
    ScopedKey monitor;
    if (!OpenMonitorKey(keyPath, KEY_QUERY_VALUE, monitor.out())) return FALSE;
    if (!RegReadBool(monitor.get(), "Update", &update)) return FALSE;
  }
  // Cleared when this user may; a reader who may not still reloads, and so does every later one.
  ScopedKey monitor;
  if (OpenMonitorKey(keyPath, KEY_SET_VALUE, monitor.out())) RegDeleteValueA(monitor.get(), "Update");
  return update ? TRUE : FALSE;
}
