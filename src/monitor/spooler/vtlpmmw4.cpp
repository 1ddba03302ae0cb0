// The monitor as the print subsystem loads it: the library entry, InitializePrintMonitor2 and the
// MONITOR2 table. The subsystem speaks UTF-16 and the monitor ANSI, so names are converted here;
// a name that the code page cannot carry exactly never reaches the monitor, where a best-fit or
// default character could make it name another port.
#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

#include <cstdint>
#include <string>

#include "base/memory.h"
#include "base/module.h"
#include "base/text.h"
#include "diag/eventlog.h"
#include "eventmessages.h"
#include "jobs/portjob.h"
#include "model/portlist.h"
#include "names/resolve.h"
#include "xcv/xcv.h"

static_assert(MSG_INTERNAL_ERROR == EVT_INTERNAL_ERROR && MSG_BAD_VALUE_TYPE == EVT_BAD_VALUE_TYPE &&
                  MSG_BAD_BOOL_VALUE == EVT_BAD_BOOL_VALUE && MSG_PORT_NOT_FOUND == EVT_PORT_NOT_FOUND &&
                  MSG_JOB_NO_PRINTER == EVT_JOB_NO_PRINTER && MSG_JOB_LOST == EVT_JOB_LOST &&
                  MSG_JOB_PRINTED == EVT_JOB_PRINTED,
              "the message table carries a text for every event the monitor reports");

namespace {

// The handle the subsystem gets for the monitor: the monitor is one per process.
char monitorTag;
HANDLE MonitorHandle() {
  return &monitorTag;
}

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

// A name in the monitor's code page; usable only when every character converted exactly.
class AnsiName {
public:
  explicit AnsiName(const WCHAR* name) : usable_(name && ExactAnsi(name, &text_) && text_.size() < MAX_PATH) {}

  bool usable() const { return usable_; }
  const char* get() const { return text_.c_str(); }

private:
  std::string text_;
  bool usable_;
};

// The monitor's own answer to an enumeration, in a buffer of this module's.
class AnsiPorts {
public:
  AnsiPorts() = default;
  ~AnsiPorts() { MemFree(&buffer_); }
  AnsiPorts(const AnsiPorts&) = delete;
  AnsiPorts& operator=(const AnsiPorts&) = delete;

  // FALSE with the monitor's last-error code when it cannot answer.
  BOOL Load(DWORD level) {
    // The list can grow between asking for the size and fetching; ask again a few times.
    for (int attempt = 0; attempt < 4; ++attempt) {
      DWORD neededBytes = 0;
      DWORD count = 0;
      if (MonitorEnumPorts(nullptr, level, buffer_, size_, &neededBytes, &count)) {
        count_ = count;
        level_ = level;
        return TRUE;
      }
      if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return FALSE;
      MemFree(&buffer_);
      size_ = 0;
      if (MemAllocate(neededBytes, &buffer_) != EXC_S_SUCCESS) return Fail(ERROR_NOT_ENOUGH_MEMORY);
      size_ = neededBytes;
    }
    return FALSE;
  }

  DWORD count() const { return count_; }
  DWORD level() const { return level_; }
  const PORT_INFO_1A& first(DWORD index) const { return reinterpret_cast<const PORT_INFO_1A*>(buffer_)[index]; }
  const PORT_INFO_2A& second(DWORD index) const { return reinterpret_cast<const PORT_INFO_2A*>(buffer_)[index]; }

  // The record's texts in the order the wide record holds them.
  int Texts(DWORD index, const char* texts[3]) const {
    if (level_ == 1) {
      texts[0] = first(index).pName;
      return 1;
    }
    texts[0] = second(index).pPortName;
    texts[1] = second(index).pMonitorName;
    texts[2] = second(index).pDescription;
    return 3;
  }

private:
  BYTE* buffer_ = nullptr;
  DWORD size_ = 0;
  DWORD count_ = 0;
  DWORD level_ = 1;
};

DWORD WideLength(const char* text) {
  return static_cast<DWORD>(MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0));
}

DWORD WideRecordSize(DWORD level) {
  return level == 1 ? sizeof(PORT_INFO_1W) : sizeof(PORT_INFO_2W);
}

DWORD WidePortsSize(const AnsiPorts& ports) {
  DWORD total = 0;
  for (DWORD i = 0; i < ports.count(); ++i) {
    const char* texts[3];
    int textCount = ports.Texts(i, texts);
    total += WideRecordSize(ports.level());
    for (int t = 0; t < textCount; ++t) total += WideLength(texts[t]) * sizeof(WCHAR);
  }
  return total;
}

// Lays the records out as the monitor does: records from the buffer's start, texts packed from
// its end downwards, the first port's texts last. The caller has checked that they fit.
void PackWidePorts(const AnsiPorts& ports, BYTE* buffer, DWORD size, DWORD neededBytes) {
  BYTE* stringEnd = buffer + size;
  // Wide texts sit on even addresses; an odd end gives up its last byte when there is room.
  if ((reinterpret_cast<uintptr_t>(stringEnd) & 1) && size > neededBytes) --stringEnd;
  for (DWORD i = 0; i < ports.count(); ++i) {
    const char* texts[3];
    WCHAR* wide[3] = {};
    int textCount = ports.Texts(i, texts);
    for (int t = 0; t < textCount; ++t) {
      DWORD length = WideLength(texts[t]);
      stringEnd -= length * sizeof(WCHAR);
      wide[t] = reinterpret_cast<WCHAR*>(stringEnd);
      MultiByteToWideChar(CP_ACP, 0, texts[t], -1, wide[t], static_cast<int>(length));
    }
    if (ports.level() == 1) {
      reinterpret_cast<PORT_INFO_1W*>(buffer)[i].pName = wide[0];
      continue;
    }
    PORT_INFO_2W& record = reinterpret_cast<PORT_INFO_2W*>(buffer)[i];
    record = PORT_INFO_2W{wide[0], wide[1], wide[2], ports.second(i).fPortType, 0};
  }
}

BOOL WINAPI WideEnumPorts(HANDLE monitor, LPWSTR /*serverName*/, DWORD level, LPBYTE buffer, DWORD size,
                           LPDWORD needed, LPDWORD returned) {
  SetLastError(ERROR_SUCCESS);
  if (monitor != MonitorHandle()) return Fail(ERROR_INVALID_HANDLE);
  if (!needed || !returned || (!buffer && size)) return Fail(ERROR_INVALID_PARAMETER);
  AnsiPorts ports;
  if (!ports.Load(level)) {
    // Nothing is handed out, whatever the monitor counted.
    *needed = 0;
    *returned = 0;
    return FALSE;
  }
  DWORD neededBytes = WidePortsSize(ports);
  *needed = neededBytes;
  if (neededBytes > size) return Fail(ERROR_INSUFFICIENT_BUFFER);
  PackWidePorts(ports, buffer, size, neededBytes);
  *returned = ports.count();
  return TRUE;
}

BOOL WINAPI WideOpenPort(HANDLE monitor, LPWSTR portName, PHANDLE port) {
  SetLastError(ERROR_SUCCESS);
  if (monitor != MonitorHandle()) return Fail(ERROR_INVALID_HANDLE);
  if (!port) return Fail(ERROR_INVALID_PARAMETER);
  AnsiName name(portName);
  if (!name.usable()) return Fail(ERROR_INVALID_NAME);
  return MonitorOpenPort(name.get(), port);
}

// The document's name only labels the job (its header, banner page and events), so characters
// the code page lacks may become its default character. The printer's name finds the job's owner;
// one the code page cannot carry is left out, and the job goes as this process's user's.
BOOL WINAPI WideStartDocPort(HANDLE port, LPWSTR printerName, DWORD jobId, DWORD level, LPBYTE docInfo) {
  SetLastError(ERROR_SUCCESS);
  if ((level != 1 && level != 2) || !docInfo) return MonitorStartDocPort(port, nullptr, jobId, level, nullptr);
  // DOC_INFO_1W and DOC_INFO_2W both begin with the document's name.
  const WCHAR* wideName = reinterpret_cast<DOC_INFO_1W*>(docInfo)->pDocName;
  char name[MAX_PATH] = {};
  if (wideName && !WideCharToMultiByte(CP_ACP, 0, wideName, -1, name, sizeof name, nullptr, nullptr)) {
    name[sizeof name - 1] = '\0';  // a name too long for the buffer keeps what was converted
  }
  DOC_INFO_1A ansi = {name, nullptr, nullptr};
  AnsiName printer(printerName);
  const char* printerAnsi = printer.usable() ? printer.get() : nullptr;
  return MonitorStartDocPort(port, printerAnsi, jobId, 1, reinterpret_cast<BYTE*>(&ansi));
}

BOOL WINAPI WideWritePort(HANDLE port, LPBYTE buffer, DWORD size, LPDWORD written) {
  SetLastError(ERROR_SUCCESS);
  return MonitorWritePort(port, buffer, size, written);
}

BOOL WINAPI WideReadPort(HANDLE port, LPBYTE buffer, DWORD size, LPDWORD read) {
  SetLastError(ERROR_SUCCESS);
  return MonitorReadPort(port, buffer, size, read);
}

BOOL WINAPI WideEndDocPort(HANDLE port) {
  SetLastError(ERROR_SUCCESS);
  return MonitorEndDocPort(port);
}

BOOL WINAPI WideClosePort(HANDLE port) {
  return MonitorClosePort(port);
}

// An Xcv handle remembers the access it was opened with; the commands decide what it allows.
BOOL WINAPI WideXcvOpenPort(HANDLE monitor, LPCWSTR /*object*/, ACCESS_MASK access, PHANDLE xcv) {
  SetLastError(ERROR_SUCCESS);
  if (monitor != MonitorHandle()) return Fail(ERROR_INVALID_HANDLE);
  if (!xcv) return Fail(ERROR_INVALID_PARAMETER);
  XcvHandle* handle = nullptr;
  if (MemAllocateZeroed(sizeof *handle, &handle) != EXC_S_SUCCESS) return Fail(ERROR_NOT_ENOUGH_MEMORY);
  handle->access = access;
  *xcv = handle;
  return TRUE;
}

DWORD WINAPI WideXcvDataPort(HANDLE xcv, LPCWSTR command, PBYTE input, DWORD inputSize, PBYTE output,
                             DWORD outputSize, PDWORD outputNeeded) {
  if (!xcv) return ERROR_INVALID_HANDLE;
  try {
    return XcvRunCommand(*static_cast<XcvHandle*>(xcv), command, input, inputSize, output, outputSize, outputNeeded);
  } catch (...) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
}

BOOL WINAPI WideXcvClosePort(HANDLE xcv) {
  auto* handle = static_cast<XcvHandle*>(xcv);
  MemFree(&handle);
  return TRUE;
}

VOID WINAPI WideShutdown(HANDLE monitor) {
  if (monitor != MonitorHandle()) return;
  MonitorShutdown();
  UnloadVnetLibrary();
}

// No dialogs in the spooler's process: with add, configure and delete left out, the print system
// loads the port UI library that "MonitorUI" names into the administrator's process, and that
// library, the command-line tool and scripts change ports through the Xcv commands. There is no
// extended open and nothing for bidirectional printers.
MONITOR2 MonitorTable = {
    .cbSize = sizeof(MONITOR2),
    .pfnEnumPorts = WideEnumPorts,
    .pfnOpenPort = WideOpenPort,
    .pfnOpenPortEx = nullptr,
    .pfnStartDocPort = WideStartDocPort,
    .pfnWritePort = WideWritePort,
    .pfnReadPort = WideReadPort,
    .pfnEndDocPort = WideEndDocPort,
    .pfnClosePort = WideClosePort,
    .pfnAddPort = nullptr,
    .pfnAddPortEx = nullptr,
    .pfnConfigurePort = nullptr,
    .pfnDeletePort = nullptr,
    .pfnGetPrinterDataFromPort = nullptr,
    .pfnSetPortTimeOuts = nullptr,
    .pfnXcvOpenPort = WideXcvOpenPort,
    .pfnXcvDataPort = WideXcvDataPort,
    .pfnXcvClosePort = WideXcvClosePort,
    .pfnShutdown = WideShutdown,
    .pfnSendRecvBidiDataFromPort = nullptr,
    .pfnNotifyUsedPorts = nullptr,
    .pfnNotifyUnusedPorts = nullptr,
};

}  // namespace

// The monitor reads its configuration under its own key path; the spooler's registry handle is
// not needed for that.
extern "C" LPMONITOR2 WINAPI InitializePrintMonitor2(PMONITORINIT init, PHANDLE monitor) {
  SetLastError(ERROR_SUCCESS);
  if (!init || !monitor) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (!MonitorInitialize(nullptr)) return nullptr;
  LoadVnetLibrary();  // here and not in DllMain, where loading a library runs under the loader lock
  *monitor = MonitorHandle();
  return &MonitorTable;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  switch (reason) {
  case DLL_PROCESS_ATTACH:
    ModuleInstance = instance;
    MemInitialize();
    break;
  case DLL_PROCESS_DETACH:
    if (reserved) break;  // the process is ending; the system takes everything back
    // Unloaded by FreeLibrary: give back what this module holds, so it can be loaded again. The
    // VTLnet library is released by the monitor's shutdown, never here under the loader lock.
    MonitorShutdown();
    break;
  }
  return TRUE;
}
