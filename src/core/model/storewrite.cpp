// Writing side of the registry store: typed value writers, ports, logging options, the write
// probe and the "Update" flag.
#include "model/store.h"

#include <cstring>

#include "base/scoped.h"
#include "model/settings.h"
#include "names/resolve.h"

namespace {

BOOL Fail(LONG error) {
  SetLastError(static_cast<DWORD>(error));
  return FALSE;
}

BOOL SetDwordValue(HKEY key, const char* valueName, DWORD value) {
  LONG result = RegSetValueExA(key, valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  return result == ERROR_SUCCESS ? TRUE : Fail(result);
}

// A key being written, and whether it was just created: a new key holds no value to delete, which
// spares a registry call for each absent value.
struct Target {
  HKEY key;
  bool created;
};

void DeleteValue(const Target& target, const char* valueName) {
  if (!target.created) RegDeleteValueA(target.key, valueName);
}

// 0, false and the empty text delete the value (TRUE whatever the deletion yields).
BOOL WriteDword(const Target& target, const char* valueName, DWORD value) {
  if (value == 0) {
    DeleteValue(target, valueName);
    return TRUE;
  }
  return SetDwordValue(target.key, valueName, value);
}

BOOL WriteString(const Target& target, const char* valueName, const char* text) {
  if (!text || !*text) {
    DeleteValue(target, valueName);
    return TRUE;
  }
  LONG result = RegSetValueExA(target.key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                               static_cast<DWORD>(strlen(text) + 1));
  return result == ERROR_SUCCESS ? TRUE : Fail(result);
}

BOOL WriteBool(const Target& target, const char* valueName, DWORD value) {
  return WriteString(target, valueName, value ? "True" : "");
}

// A value equal to the row's initial one is not stored; a flag whose initial value is set is
// stored only as "False".
BOOL WriteOptional(const Target& port, const Setting& setting, const PortEntry& entry) {
  if (setting.type == SettingType::Text) return WriteString(port, setting.name, SettingsText(setting, &entry));
  DWORD value = SettingsNumber(setting, &entry);
  if (value == setting.initial) {
    DeleteValue(port, setting.name);
    return TRUE;
  }
  if (setting.type == SettingType::Number) return WriteDword(port, setting.name, value);
  return value ? WriteBool(port, setting.name, value) : WriteString(port, setting.name, "False");
}

// A port's key is named by the port; an empty name or one with a backslash would name the
// "Ports" key itself or a key beneath another port.
bool IsPortKeyName(const char* portName) {
  return portName && *portName && !strchr(portName, '\\');
}

// The AND of a series of writes that goes on past a failure; the first failure's code is the
// last-error code at the end, whatever later calls leave there.
class WriteResults {
public:
  void Add(BOOL written) {
    if (written || failed_) return;
    failed_ = true;
    error_ = GetLastError();
  }
  BOOL Result() const {
    if (!failed_) return TRUE;
    SetLastError(error_);
    return FALSE;
  }

private:
  bool failed_ = false;
  DWORD error_ = ERROR_SUCCESS;
};

using NameLookup = void (*)(const char* name, char* text, int size);

// The texts a printer's write stored, or left out; both left out leave the stored ones.
struct WrittenPrinter {
  const char* name;
  const char* address;
};

// Stores a printer by name when the name resolves now, else by address when there is one;
// with neither, both stored values stay. Kept, both are stored as they stand. Deletions do not
// count toward the result.
BOOL WritePrinter(const Target& port, bool keep, NameLookup lookUp, const char* name, const char* nameValue,
                  const char* address, const char* addressValue, WrittenPrinter* written) {
  *written = {"", ""};
  if (keep) {
    *written = {name, address};
    WriteResults results;
    results.Add(WriteString(port, nameValue, name));
    results.Add(WriteString(port, addressValue, address));
    return results.Result();
  }
  char resolved[16];
  lookUp(name, resolved, sizeof resolved);
  if (resolved[0]) {
    written->name = name;
    DeleteValue(port, addressValue);
    return WriteString(port, nameValue, name);
  }
  if (!address[0]) return TRUE;
  written->address = address;
  DeleteValue(port, nameValue);
  return WriteString(port, addressValue, address);
}

// A set flag stores its number even when it is 0, since the reader leaves out a port whose set
// flag has no number.
BOOL WriteTray(const Target& port, const char* flagName, DWORD flag, const char* numberName, DWORD number) {
  WriteResults results;
  results.Add(WriteBool(port, flagName, flag));
  if (flag) {
    results.Add(SetDwordValue(port.key, numberName, number));
  } else {
    DeleteValue(port, numberName);
  }
  return results.Result();
}

// The port as the reader takes it back from a key the write created: the texts written, every flag
// and bool stored as "True" or not at all, a tray number stored only under its flag, an optional
// number beyond its limit read as none, and a Pressmark printer unless it is a VTLlaser one
// ("Pressmark" is never stored).
PortEntry AsCreated(const PortEntry& entry, const WrittenPrinter& tcp, const WrittenPrinter& vnet) {
  PortEntry port = entry;
  port.next = nullptr;
  lstrcpynA(port.tcpName, tcp.name, sizeof port.tcpName);
  lstrcpynA(port.tcpAddress, tcp.address, sizeof port.tcpAddress);
  lstrcpynA(port.vnetName, vnet.name, sizeof port.vnetName);
  lstrcpynA(port.vnetAddress, vnet.address, sizeof port.vnetAddress);
  port.banner = entry.banner != 0;
  const struct {
    DWORD PortEntry::*flag;
    DWORD PortEntry::*number;
  } trays[] = {{&PortEntry::setBannerTray, &PortEntry::bannerTrayNumber},
               {&PortEntry::setOutputTray, &PortEntry::outputTrayNumber},
               {&PortEntry::setInputTray, &PortEntry::inputTrayNumber}};
  for (const auto& tray : trays) {
    port.*tray.flag = entry.*tray.flag != 0;
    if (!(port.*tray.flag)) port.*tray.number = 0;
  }
  for (const Setting& setting : kPortSettings) {
    if (!setting.optional || setting.type == SettingType::Text) continue;
    DWORD* value = SettingsNumber(setting, &port);
    if (setting.type == SettingType::Flag) {
      *value = *value != 0;
    } else if (*value > setting.limit) {
      *value = setting.initial;
    }
  }
  port.vtllaserPrinter = entry.vtllaserPrinter != 0;
  port.pressmarkPrinter = !port.vtllaserPrinter;
  return port;
}

}  // namespace

BOOL RegWriteDword(HKEY key, const char* valueName, DWORD value) {
  return WriteDword({key, false}, valueName, value);
}

BOOL RegWriteString(HKEY key, const char* valueName, const char* text) {
  return WriteString({key, false}, valueName, text);
}

BOOL RegWriteBool(HKEY key, const char* valueName, DWORD value) {
  return WriteBool({key, false}, valueName, value);
}

BOOL StoreWritePort(const char* keyPath, const PortEntry* entry, DWORD keepPrinters, PortEntry* created) {
  if (created) *created = PortEntry{};
  // Without a protocol the port would be stored without "Protocol" and vanish at the next reload.
  if (!IsPortKeyName(entry->portName) || entry->protocol == 0) return Fail(ERROR_INVALID_PARAMETER);
  ScopedKey key;
  DWORD disposition = 0;
  {
    ScopedKey ports;
    if (!StoreOpenPortsKey(keyPath, ports.out())) return FALSE;
    char noClass[] = "";
    LONG result = RegCreateKeyExA(ports.get(), entry->portName, 0, noClass, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                                  nullptr, key.out(), &disposition);
    if (result != ERROR_SUCCESS) return Fail(result);
  }
  const Target port = {key.get(), disposition == REG_CREATED_NEW_KEY};

  WriteResults results;
  results.Add(WriteDword(port, "Protocol", entry->protocol));
  WrittenPrinter tcp, vnet;
  {
    ScopedSockets sockets;
    bool keepTcp = (keepPrinters & kStoreKeepTcpPrinter) != 0, keepVnet = (keepPrinters & kStoreKeepVnetPrinter) != 0;
    results.Add(WritePrinter(port, keepTcp, TcpNameToAddress, entry->tcpName, "TCP/IP Name", entry->tcpAddress,
                             "TCP/IP Address", &tcp));
    results.Add(WritePrinter(port, keepVnet, VnetNameToAddress, entry->vnetName, "VTLnet Name",
                             entry->vnetAddress, "VTLnet Address", &vnet));
  }
  results.Add(WriteBool(port, "Banner", entry->banner));
  results.Add(WriteTray(port, "Set Banner Tray", entry->setBannerTray, "Banner Tray Number",
                        entry->bannerTrayNumber));
  results.Add(WriteTray(port, "Set Output Tray", entry->setOutputTray, "Output Tray Number",
                        entry->outputTrayNumber));
  results.Add(WriteTray(port, "Set Input Tray", entry->setInputTray, "Input Tray Number",
                        entry->inputTrayNumber));
  // Values the dialogs do not show travel with the port, so a rename keeps them.
  for (const Setting& setting : kPortSettings) {
    if (setting.optional) results.Add(WriteOptional(port, setting, *entry));
  }
  DeleteValue(port, "Pressmark");
  results.Add(WriteBool(port, "VTLlaser TCP/IP", entry->vtllaserPrinter));
  BOOL written = results.Result();
  if (written && port.created && created) *created = AsCreated(*entry, tcp, vnet);
  return written;
}

BOOL StoreDeletePort(const char* keyPath, const char* portName) {
  if (!IsPortKeyName(portName)) return Fail(ERROR_INVALID_PARAMETER);
  ScopedKey ports;
  if (!StoreOpenPortsKey(keyPath, ports.out())) return FALSE;
  LONG result = RegDeleteKeyA(ports.get(), portName);
  return result == ERROR_SUCCESS ? TRUE : Fail(result);
}

BOOL StoreWriteLogOptions(const char* keyPath, const LogOptions* options) {
  ScopedKey key;
  if (!StoreOpenOptionsKey(keyPath, key.out())) return FALSE;
  WriteResults results;
  results.Add(RegWriteDword(key.get(), "Logging Level", options->loggingLevel));
  results.Add(RegWriteBool(key.get(), "Trace", options->trace));
  if (options->traceFile[0]) results.Add(RegWriteString(key.get(), "Trace File", options->traceFile));
  results.Add(RegWriteBool(key.get(), "Bubble", options->bubble));
  return results.Result();
}

BOOL StoreCanWrite(const char* keyPath) {
  ScopedKey ports;
  return StoreOpenPortsKey(keyPath, ports.out());
}

BOOL StoreSetUpdate(const char* keyPath) {
  ScopedKey monitor;
  if (!StoreOpenMonitorKey(keyPath, monitor.out())) return FALSE;
  BOOL written = RegWriteBool(monitor.get(), "Update", TRUE);
  LONG closed = monitor.Close();
  if (closed != ERROR_SUCCESS) return Fail(closed);
  return written;
}
