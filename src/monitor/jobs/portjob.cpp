// The job entry points and the state of one job on one port handle.
#include "jobs/portjob.h"

#include <winsock.h>
#include <winspool.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "base/memory.h"
#include "base/module.h"
#include "base/text.h"
#include "diag/eventlog.h"
#include "jobs/connection.h"
#include "jobs/jobtext.h"
#include "jobs/lpr.h"
#include "jobs/postscript.h"
#include "model/portlist.h"
#include "model/store.h"
#include "names/resolve.h"
#include "trace/bubble.h"

// One job on one port handle, from StartDocPort to EndDocPort.
struct PortJob {
  bool active;
  bool failed;               // a write failed: the job ends undelivered, with this error
  int error;
  bool sockets;              // Windows Sockets started for the job
  SOCKET connection;
  in_addr address;           // TCP/IP: the printer's address and port, as reached at the start
  unsigned short tcpPort;
  DWORD unlooked;            // bytes sent since the last look for the printer's close
  VnetConnection* vnet;      // a VTLnet port's connection, through the VTLnet library
  bool lpr;
  HANDLE spool;              // LPR: the job's bytes, counted before they are announced
  unsigned long long spooledBytes;
  bool decided;              // whether the job is PostScript has been decided
  bool wrapped;
  unsigned long long documentBytes;  // the document's bytes that went out (LPR: were spooled)
  DWORD timeoutMs;
  unsigned jobNumber;
  char documentName[128];
  char printer[128];         // the printer as events name it
  char time[20];
  char user[64];             // LPR: the job's owner
  BubbleChannel* trace;      // null unless "Trace" names a trace file
  PsLookAhead lookAhead;     // the first bytes, until they decide whether the job is PostScript
  PsEnd end;                 // a wrapped job's last bytes, while they may be its closing block
};

namespace {

constexpr DWORD kDefaultSendTimeout = 60;   // seconds
constexpr DWORD kMaxSendTimeout = 3600;
constexpr unsigned short kRawPort = 9100;
constexpr DWORD kSpoolChunk = 65536;

BOOL FailWith(DWORD error) {
  SetLastError(error);
  NormalizeLastError();
  return FALSE;
}

PortJob* JobOf(HANDLE port) {
  return port ? static_cast<OpenPort*>(port)->job : nullptr;
}

const char* ReasonText(int error) {
  switch (error) {
  case WSAECONNREFUSED: return "the printer refused the connection";
  case WSAETIMEDOUT: return "the printer took nothing within the port's send timeout";
  case WSAECONNRESET:
  case WSAECONNABORTED:
  case WSAESHUTDOWN: return "the printer closed the connection";
  case WSAHOST_NOT_FOUND: return "the printer's name does not resolve and the port has no address for it";
  case WSAENETUNREACH:
  case WSAEHOSTUNREACH: return "there is no route to the printer";
  case ERROR_MOD_NOT_FOUND: return "the VTLnet library with its transport is not installed";
  case ERROR_BAD_NETPATH: return "the VTLnet library has no transport to the printer's node";
  case ERROR_INVALID_ADDRESS: return "the printer's VTLnet name does not resolve and the port has no address for it";
  default: return "a network or file error";
  }
}

void ReportNoPrinter(const OpenPort& open, const PortJob& job, int error, const char* reason = nullptr) {
  std::string code = std::to_string(error);
  const char* strings[] = {open.port.portName, job.printer, reason ? reason : ReasonText(error), code.c_str(),
                           job.documentName};
  EvReport(EVT_JOB_NO_PRINTER, 5, strings);
}

void ReportLost(const OpenPort& open, const PortJob& job) {
  std::string bytes = std::to_string(job.documentBytes);
  std::string code = std::to_string(job.error);
  const char* strings[] = {open.port.portName, job.printer, job.documentName, bytes.c_str(), ReasonText(job.error),
                           code.c_str()};
  EvReport(EVT_JOB_LOST, 6, strings);
}

void ReportPrinted(const OpenPort& open, const PortJob& job) {
  std::string bytes = std::to_string(job.documentBytes);
  const char* strings[] = {open.port.portName, job.documentName, job.printer, bytes.c_str()};
  EvReport(EVT_JOB_PRINTED, 4, strings);
}

// Gives back what the job holds; the job is idle afterwards, ready for the next one.
void EndJob(PortJob* job) {
  ConnClose(&job->connection);
  if (job->vnet) VnetClose(job->vnet, FALSE);
  job->vnet = nullptr;
  if (job->spool != INVALID_HANDLE_VALUE) CloseHandle(job->spool);  // deleted on close
  job->spool = INVALID_HANDLE_VALUE;
  if (job->sockets) WSACleanup();
  job->sockets = false;
  BubbleClose(job->trace);
  job->trace = nullptr;
  job->active = false;
}

// The live trace window needs a desktop that someone sees; a service's spooler has none.
bool HasInteractiveDesktop() {
  char name[32] = {};
  HWINSTA station = GetProcessWindowStation();
  return station && GetUserObjectInformationA(station, UOI_NAME, name, sizeof name, nullptr) &&
         lstrcmpiA(name, "WinSta0") == 0;
}

// The logging options as the store holds them now: the level gates the job's events, and a set
// "Trace" opens the job's trace channel.
void ApplyLogOptions(PortJob* job) {
  LogOptions options = {};
  options.loggingLevel = 1;
  StoreReadLogOptions(MonitorKeyPath, &options);
  MonitorSetLogOptions(&options);
  EvSetLevel(options.loggingLevel);
  if (!options.trace || !options.traceFile[0]) return;
  job->trace = BubbleOpenShared(ModuleInstance, options.traceFile, options.bubble && HasInteractiveDesktop(),
                          "Vantrel Pressmark Printer jobs");
}

// The LPR spool: a temporary file that goes away when it is closed, whatever happens.
int OpenSpool(PortJob* job) {
  char directory[MAX_PATH];
  char path[MAX_PATH];
  DWORD length = GetTempPathA(sizeof directory, directory);
  if (length == 0 || length >= sizeof directory || !GetTempFileNameA(directory, "vpm", 0, path)) {
    return static_cast<int>(GetLastError());
  }
  job->spool = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (job->spool == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    DeleteFileA(path);
    return static_cast<int>(error);
  }
  return 0;
}

// One byte from an LPR printer: 0 accepts, anything else or a closed connection refuses.
int AwaitAcknowledgement(const PortJob& job) {
  char answer = 1;
  DWORD received = 0;
  int error = ConnReceive(job.connection, &answer, 1, job.timeoutMs, &received);
  if (error) return error;
  if (received == 0) return WSAECONNRESET;
  return answer == 0 ? 0 : WSAECONNREFUSED;
}

int SendText(const PortJob& job, const std::string& text) {
  DWORD sent = 0;
  return ConnSend(job.connection, text.data(), static_cast<DWORD>(text.size()), nullptr, &sent);
}

int SendCommand(const PortJob& job, const std::string& command) {
  int error = SendText(job, command);
  return error ? error : AwaitAcknowledgement(job);
}

LprJob LprJobOf(const OpenPort& open, const PortJob& job, char* host) {
  if (gethostname(host, 64) != 0) strcpy(host, "localhost");
  return LprJob{open.port.lprQueue, host, job.user, job.documentName, job.jobNumber};
}

// The job's owner as the spooler knows it; the user of this process when the spooler names no
// printer or job (Wine's does not), or cannot answer.
void FindJobOwner(const char* printerName, DWORD jobId, char* user, DWORD size) {
  HANDLE printer = nullptr;
  if (printerName && *printerName && jobId && OpenPrinterA(const_cast<char*>(printerName), &printer, nullptr)) {
    alignas(JOB_INFO_1A) BYTE info[4096];
    DWORD needed = 0;
    bool found = GetJobA(printer, jobId, 1, info, sizeof info, &needed);
    ClosePrinter(printer);
    const char* owner = found ? reinterpret_cast<JOB_INFO_1A*>(info)->pUserName : nullptr;
    if (owner && *owner) {
      CopyBounded(user, owner, size);
      user[size - 1] = '\0';
      return;
    }
  }
  if (!GetUserNameA(user, &size)) strcpy(user, "spooler");
}

// Opens the job's own connection to the printer (from a reserved port when one is free) and has
// the queue accept the job.
int ConnectLpr(const OpenPort& open, PortJob* job) {
  int error = ConnOpen(job->address, job->tcpPort, true, true, job->timeoutMs, &job->connection);
  if (error == WSAEADDRINUSE) {
    // The reserved source port still serves an earlier connection to this printer: any port will do.
    ConnClose(&job->connection);
    error = ConnOpen(job->address, job->tcpPort, false, true, job->timeoutMs, &job->connection);
  }
  if (error) return error;
  char host[64];
  return SendCommand(*job, LprReceiveJobCommand(LprJobOf(open, *job, host)));
}

// On a connection of the job's own, made now (the one of the start may have been dropped while
// the job was spooled): announces the spooled data file with its exact size, streams it, then
// sends the control file. The job is done once the printer acknowledged the control file.
int SendLprFiles(const OpenPort& open, PortJob* job) {
  int error = ConnectLpr(open, job);
  if (error) return error;
  char host[64];
  LprJob lpr = LprJobOf(open, *job, host);
  error = SendCommand(*job, LprFileCommand('\3', job->spooledBytes, LprDataFileName(lpr)));
  if (error) return error;
  if (SetFilePointer(job->spool, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) {
    return static_cast<int>(GetLastError());
  }
  static_assert(kSpoolChunk <= 1 << 20, "the chunk lives on the stack");
  char chunk[kSpoolChunk];
  unsigned long long dataSent = 0;
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(job->spool, chunk, sizeof chunk, &read, nullptr)) return static_cast<int>(GetLastError());
    if (read == 0) break;
    DWORD sent = 0;
    error = ConnSend(job->connection, chunk, read, &job->unlooked, &sent);
    dataSent += sent;
    if (error) {
      job->documentBytes = dataSent;  // a lost job's event counts what of the data file went out
      return error;
    }
  }
  error = SendCommand(*job, std::string(1, '\0'));
  if (error) return error;
  std::string control = LprControlFile(lpr);
  error = SendCommand(*job, LprFileCommand('\2', control.size(), LprControlFileName(lpr)));
  if (error) return error;
  return SendCommand(*job, control + '\0');
}

// Puts bytes on their way: raw to the printer, LPR into the spool. *sent counts what went.
int Put(PortJob* job, const void* data, DWORD size, DWORD* sent) {
  *sent = 0;
  if (size == 0) return 0;
  if (job->vnet) {
    *sent = static_cast<DWORD>(VnetSend(job->vnet, static_cast<const char*>(data), static_cast<int>(size)));
    return *sent == size ? 0 : static_cast<int>(GetLastError());
  }
  if (!job->lpr) return ConnSend(job->connection, data, size, &job->unlooked, sent);
  if (!WriteFile(job->spool, data, size, sent, nullptr)) return static_cast<int>(GetLastError());
  job->spooledBytes += *sent;
  return *sent == size ? 0 : ERROR_DISK_FULL;
}

int PutText(PortJob* job, const std::string& text) {
  DWORD sent = 0;
  return Put(job, text.data(), static_cast<DWORD>(text.size()), &sent);
}

int PutDocument(PortJob* job, const BYTE* data, size_t size) {
  DWORD sent = 0;
  int error = Put(job, data, static_cast<DWORD>(size), &sent);
  job->documentBytes += sent;
  return error;
}

PsJobOptions WrappingOf(const OpenPort& open, const PortJob& job) {
  const PortEntry& port = open.port;
  return PsJobOptions{job.documentName,  open.port.portName,  job.time,
                      port.banner,       port.setBannerTray,  port.bannerTrayNumber,
                      port.setInputTray, port.inputTrayNumber, port.setOutputTray,
                      port.outputTrayNumber};
}

// A wrapped document's bytes pass its end's hold, so that the trailer can go before its closing block.
int SendDocument(PortJob* job, const BYTE* data, size_t size) {
  if (!job->wrapped) return PutDocument(job, data, size);
  return PsEndWrite(&job->end, data, size, [job](const BYTE* bytes, size_t count) {
    return PutDocument(job, bytes, count);
  });
}

// The held first bytes have decided (a negative start: not PostScript) and go out; a PostScript
// job gets its wrapping in front of its own PostScript, after the job-language header it may have.
int SendFirstBytes(const OpenPort& open, PortJob* job, long start) {
  job->decided = true;
  job->wrapped = start >= 0;
  BubblePrintf(job->trace, "WritePort %s: %s", open.port.portName,
               job->wrapped ? "PostScript, wrapped with the port's options" : "not PostScript, sent untouched");
  size_t size = job->lookAhead.size;
  job->lookAhead.size = 0;
  size_t front = job->wrapped ? static_cast<size_t>(start) : size;
  int error = PutDocument(job, job->lookAhead.bytes, front);
  if (!error && job->wrapped) error = PutText(job, PsJobHeader(WrappingOf(open, *job)));
  return error ? error : SendDocument(job, job->lookAhead.bytes + front, size - front);
}

// The first bytes are held until they decide whether the job is PostScript.
int TakeDocument(const OpenPort& open, PortJob* job, const BYTE* buffer, size_t size) {
  if (job->decided) return SendDocument(job, buffer, size);
  PsLookAhead& ahead = job->lookAhead;
  size_t taken = size < sizeof ahead.bytes - ahead.size ? size : sizeof ahead.bytes - ahead.size;
  if (taken) memcpy(ahead.bytes + ahead.size, buffer, taken);
  ahead.size += taken;
  long start = PsProgramStart(ahead.bytes, ahead.size);
  if (start == kPsUndecided) return 0;
  int error = SendFirstBytes(open, job, start);
  return error ? error : SendDocument(job, buffer + taken, size - taken);
}

// *written counts the bytes of this write that were sent or held, and on failure those that went
// out: they go after the bytes held before them.
int WriteDocument(const OpenPort& open, PortJob* job, const BYTE* buffer, DWORD size, DWORD* written) {
  unsigned long long before = job->documentBytes + job->lookAhead.size + job->end.heldSize;
  int error = TakeDocument(open, job, buffer, size);
  *written = !error ? size : job->documentBytes > before ? static_cast<DWORD>(job->documentBytes - before) : 0;
  return error;
}

// Sends what the job still holds, with a wrapped job's trailer: in front of the document's closing
// job-language block when it ends with one, else after the document.
int FinishDocument(const OpenPort& open, PortJob* job) {
  if (!job->decided && job->lookAhead.size > 0) {
    long start = PsProgramStart(job->lookAhead.bytes, job->lookAhead.size);
    int error = SendFirstBytes(open, job, start == kPsUndecided ? -1 : start);  // no more bytes to tell
    if (error) return error;
  }
  if (!job->wrapped) return 0;
  bool closing = PsEndIsClosingBlock(job->end);
  int error = closing ? 0 : PutDocument(job, job->end.held, job->end.heldSize);
  if (!error) error = PutText(job, PsJobTrailer());
  return error || !closing ? error : PutDocument(job, job->end.held, job->end.heldSize);
}

// A VTLnet printer: its stored name resolved now, else its stored address; the connection is
// the VTLnet library's transport.
int ReachVnetPrinter(const PortEntry& port, PortJob* job) {
  char address[kVnetAddressSize] = {};
  VnetNameToAddress(port.vnetName, address, sizeof address);
  if (!address[0]) CopyBounded(address, port.vnetAddress, sizeof address);
  address[sizeof address - 1] = '\0';
  snprintf(job->printer, sizeof job->printer, "%s (%s, VTLnet)", port.vnetName[0] ? port.vnetName : address,
           address[0] ? address : "no address");
  VnetAddressRecord* record = address[0] ? VnetAddr(address) : nullptr;
  if (!record) return address[0] ? ERROR_MOD_NOT_FOUND : ERROR_INVALID_ADDRESS;
  job->vnet = VnetConnect(reinterpret_cast<const char*>(record->address), record->length, job->timeoutMs);
  return job->vnet ? 0 : static_cast<int>(GetLastError());
}

// Reaches the printer: the TCP connection; for LPR, whether the printer and its queue answer (the
// files go on a connection of their own at the end) and the spool ready.
int ReachPrinter(const OpenPort& open, PortJob* job, const char** reason) {
  const PortEntry& port = open.port;
  if (port.protocol == kProtocolVnet) return ReachVnetPrinter(port, job);
  WSADATA data;
  if (WSAStartup(MAKEWORD(1, 1), &data) != 0) return WSASYSNOTREADY;
  job->sockets = true;

  job->lpr = port.lprQueue[0] != '\0';
  unsigned short number = port.tcpPortNumber ? static_cast<unsigned short>(port.tcpPortNumber)
                         : job->lpr           ? kLprPort
                                              : kRawPort;
  const char* name = port.tcpName[0] ? port.tcpName : port.tcpAddress;
  in_addr& address = job->address;
  job->tcpPort = number;
  int error = ConnResolve(port.tcpName, port.tcpAddress, &address);
  char queue[kLprQueueSize];
  JobSanitizeText(port.lprQueue, queue, sizeof queue);
  snprintf(job->printer, sizeof job->printer, "%s (%s, TCP port %u%s%s)", name,
           error ? "no address" : inet_ntoa(address), number, job->lpr ? ", LPR queue " : "", job->lpr ? queue : "");
  if (error) return error;

  if (!job->lpr) return ConnOpen(address, number, false, false, job->timeoutMs, &job->connection);
  error = ConnectLpr(open, job);
  ConnClose(&job->connection);
  if (error == WSAECONNREFUSED) *reason = "the printer refused the LPR queue";
  return error ? error : OpenSpool(job);
}

// After the document's last byte: LPR sends the spooled files (an empty job sends nothing, as an
// empty raw job puts nothing on the line); raw waits for the printer to close.
int FinishDelivery(const OpenPort& open, PortJob* job) {
  if (job->lpr) return job->spooledBytes ? SendLprFiles(open, job) : 0;
  if (!job->vnet) return ConnFinish(job->connection, job->timeoutMs);
  int error = VnetClose(job->vnet, TRUE);
  job->vnet = nullptr;
  return error;
}

template <class Operation>
BOOL Guarded(Operation operation) {
  try {
    return operation();
  } catch (const std::bad_alloc&) {
    return FailWith(ERROR_NOT_ENOUGH_MEMORY);
  }
}

}  // namespace

BOOL MonitorStartDocPort(HANDLE port, const char* printerName, DWORD jobId, DWORD level, BYTE* docInfo) {
  auto* open = static_cast<OpenPort*>(port);
  if (!open) return FailWith(ERROR_INVALID_HANDLE);
  if ((level != 1 && level != 2) || !docInfo) return FailWith(ERROR_INVALID_LEVEL);
  if (!open->job && MemAllocateZeroed(sizeof *open->job, &open->job) != EXC_S_SUCCESS) {
    return FailWith(ERROR_NOT_ENOUGH_MEMORY);
  }
  PortJob* job = open->job;
  if (job->active) return FailWith(ERROR_BUSY);  // one job at a time on a handle
  if (!MonitorRefreshOpenPort(open)) return FailWith(GetLastError());
  *job = PortJob{};
  job->connection = INVALID_SOCKET;
  job->spool = INVALID_HANDLE_VALUE;
  job->active = true;
  DWORD seconds = open->port.sendTimeout ? open->port.sendTimeout : kDefaultSendTimeout;
  job->timeoutMs = (seconds < kMaxSendTimeout ? seconds : kMaxSendTimeout) * 1000;
  job->jobNumber = (jobId ? jobId : GetCurrentProcessId() + GetTickCount()) % 1000;
  // DOC_INFO_1A and DOC_INFO_2A both begin with the document's name.
  JobSanitizeText(reinterpret_cast<DOC_INFO_1A*>(docInfo)->pDocName, job->documentName, sizeof job->documentName);
  SYSTEMTIME now;
  GetLocalTime(&now);
  snprintf(job->time, sizeof job->time, "%04u-%02u-%02u %02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
           now.wMinute);

  if (open->port.lprQueue[0]) FindJobOwner(printerName, jobId, job->user, sizeof job->user);

  ApplyLogOptions(job);
  return Guarded([&] {
    const char* reason = nullptr;
    int error = ReachPrinter(*open, job, &reason);
    BubblePrintf(job->trace, "StartDocPort %s: job \"%s\" to %s: error %d", open->port.portName, job->documentName,
                 job->printer, error);
    if (!error) return TRUE;
    ReportNoPrinter(*open, *job, error, reason);
    EndJob(job);
    return FailWith(static_cast<DWORD>(error));
  });
}

BOOL MonitorWritePort(HANDLE port, BYTE* buffer, DWORD size, DWORD* written) {
  auto* open = static_cast<OpenPort*>(port);
  PortJob* job = JobOf(port);
  if (written) *written = 0;
  if (!job || !job->active || !written || (!buffer && size)) return FailWith(ERROR_INVALID_PARAMETER);
  if (job->failed) return FailWith(static_cast<DWORD>(job->error));
  return Guarded([&] {
    int error = WriteDocument(*open, job, buffer, size, written);
    if (!error) return TRUE;
    job->failed = true;
    job->error = error;
    BubblePrintf(job->trace, "WritePort %s: error %d after %s bytes of the document", open->port.portName, error,
                 std::to_string(job->documentBytes).c_str());
    ReportLost(*open, *job);
    return FailWith(static_cast<DWORD>(error));
  });
}

BOOL MonitorReadPort(HANDLE, BYTE*, DWORD, DWORD* read) {
  if (read) *read = 0;
  return FailWith(ERROR_NOT_SUPPORTED);
}

BOOL MonitorEndDocPort(HANDLE port) {
  auto* open = static_cast<OpenPort*>(port);
  PortJob* job = JobOf(port);
  if (!job || !job->active) return FailWith(ERROR_INVALID_PARAMETER);
  BOOL done = Guarded([&] {
    if (job->failed) return FailWith(static_cast<DWORD>(job->error));  // reported when it failed
    int error = FinishDocument(*open, job);
    if (!error) error = FinishDelivery(*open, job);
    BubblePrintf(job->trace, "EndDocPort %s: %s bytes of the document, error %d", open->port.portName,
                 std::to_string(job->documentBytes).c_str(), error);
    if (!error) {
      ReportPrinted(*open, *job);
      return TRUE;
    }
    job->error = error;
    ReportLost(*open, *job);
    return FailWith(static_cast<DWORD>(error));
  });
  DWORD error = GetLastError();  // the job's own code, which the clean-up's calls would replace
  EndJob(job);
  SetLastError(error);
  return done;
}

BOOL MonitorClosePort(HANDLE port) {
  auto* open = static_cast<OpenPort*>(port);
  if (!open) return FailWith(ERROR_INVALID_HANDLE);
  if (open->job && open->job->active) EndJob(open->job);
  MemFree(&open->job);
  MemFree(&open);
  return TRUE;
}
