// The job entry points and the state of one job on one port handle.
#include "jobs/portjob.h"

#include <winsock2.h>
#include <winspool.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "base/memory.h"
#include "base/module.h"
#include "base/text.h"
#include "diag/eventlog.h"
#include "jobs/deliveryway.h"
#include "jobs/jobtext.h"
#include "jobs/postscript.h"
#include "jobs/printerwatch.h"
#include "model/portlist.h"
#include "model/store.h"
#include "trace/bubble.h"

// One job on one port handle, from StartDocPort to EndDocPort.
struct PortJob {
  bool active;
  bool ended;                // a job ran on the handle and ended: the outcome below is its
  bool printed;              // the printer took every byte
  bool failed;               // a write failed: the job ends undelivered, with this error
  DWORD error;
  const char* reason;        // an account of the error plainer than its code, when the way gave one
  DeliveryWay* way;          // how the job reaches the printer, from its start to its end
  bool decided;              // whether the job is PostScript has been decided
  bool wrapped;
  unsigned long long documentBytes;  // the document's bytes that went out (LPR: were spooled)
  DWORD timeoutMs;
  unsigned jobNumber;
  char documentName[128];
  char printer[512];         // the printer as events name it
  char time[20];
  char user[64];             // LPR: the job's owner
  BubbleChannel* trace;      // null unless "Trace" names a trace file
  PsLookAhead lookAhead;     // the first bytes, until they decide whether the job is PostScript
  PsEnd end;                 // a wrapped job's last bytes, while they may be its closing block
  PrinterWatch watch;        // the printer's own account of the job
  char state[160];           // the printer's state in words, when a failure made the monitor ask
  bool hasPages;
  DWORD pages;               // the pages the printer counted for the job
};

namespace {

constexpr DWORD kDefaultSendTimeout = 60;   // seconds
constexpr DWORD kMaxSendTimeout = 3600;

BOOL FailWith(DWORD error) {
  SetLastError(error);
  NormalizeLastError();
  return FALSE;
}

PortJob* JobOf(HANDLE port) {
  return port ? static_cast<OpenPort*>(port)->job : nullptr;
}

// The account of a failure: the way's or the code's, then what the printer says of itself, which
// the monitor asks now.
std::string Explained(const OpenPort& open, PortJob* job) {
  std::string reason = job->reason ? job->reason : JobReasonText(job->error);
  WatchJobFailure(open.port, &job->watch, job->state, sizeof job->state);
  return job->state[0] ? reason + "; the printer reports: " + job->state : reason;
}

void ReportNoPrinter(const OpenPort& open, PortJob* job) {
  std::string code = std::to_string(job->error);
  std::string reason = Explained(open, job);
  const char* strings[] = {open.port.portName, job->printer, reason.c_str(), code.c_str(), job->documentName};
  EvReport(EVT_JOB_NO_PRINTER, 5, strings);
}

void ReportLost(const OpenPort& open, PortJob* job) {
  std::string bytes = std::to_string(job->documentBytes);
  std::string code = std::to_string(job->error);
  std::string reason = Explained(open, job);
  const char* strings[] = {open.port.portName, job->printer, job->documentName, bytes.c_str(), reason.c_str(),
                           code.c_str()};
  EvReport(EVT_JOB_LOST, 6, strings);
}

void ReportPrinted(const OpenPort& open, PortJob* job) {
  job->hasPages = WatchJobDelivered(open.port, &job->watch, &job->pages);
  std::string bytes = std::to_string(job->documentBytes);
  std::string pages = std::to_string(job->pages);
  const char* strings[] = {open.port.portName, job->documentName, job->printer, bytes.c_str(), pages.c_str()};
  EvReport(job->hasPages ? EVT_JOB_PRINTED_PAGES : EVT_JOB_PRINTED, job->hasPages ? 5 : 4, strings);
}

// Gives back what the job holds; the job is idle afterwards, ready for the next one.
void EndJob(PortJob* job) {
  WatchJobEnd(&job->watch);
  if (job->way) job->way->Abandon();
  delete job->way;
  job->way = nullptr;
  BubbleClose(job->trace);
  job->trace = nullptr;
  job->active = false;
  job->ended = true;
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
  LogOptions options = StoreLogOptionsOrDefaults(MonitorKeyPath);
  MonitorSetLogOptions(&options);
  EvSetLevel(options.loggingLevel);
  if (!options.trace || !options.traceFile[0]) return;
  job->trace = BubbleOpenShared(ModuleInstance, options.traceFile, options.bubble && HasInteractiveDesktop(),
                          "Vantrel Pressmark Printer jobs");
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

DWORD PutText(PortJob* job, const std::string& text) {
  DWORD sent = 0;
  return job->way->Send(text.data(), static_cast<DWORD>(text.size()), &sent);
}

DWORD PutDocument(PortJob* job, const BYTE* data, size_t size) {
  DWORD sent = 0;
  DWORD error = job->way->Send(data, static_cast<DWORD>(size), &sent);
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
DWORD SendDocument(PortJob* job, const BYTE* data, size_t size) {
  if (!job->wrapped) return PutDocument(job, data, size);
  return PsEndWrite(&job->end, data, size, [job](const BYTE* bytes, size_t count) {
    return PutDocument(job, bytes, count);
  });
}

// The held first bytes have decided (a negative start: not PostScript) and go out; a PostScript
// job gets its wrapping in front of its own PostScript, after the job-language header it may have.
DWORD SendFirstBytes(const OpenPort& open, PortJob* job, long start) {
  job->decided = true;
  job->wrapped = start >= 0;
  BubblePrintf(job->trace, "WritePort %s: %s", open.port.portName,
               job->wrapped ? "PostScript, wrapped with the port's options" : "not PostScript, sent untouched");
  size_t size = job->lookAhead.size;
  job->lookAhead.size = 0;
  size_t front = job->wrapped ? static_cast<size_t>(start) : size;
  DWORD error = PutDocument(job, job->lookAhead.bytes, front);
  if (!error && job->wrapped) error = PutText(job, PsJobHeader(WrappingOf(open, *job)));
  return error ? error : SendDocument(job, job->lookAhead.bytes + front, size - front);
}

// The first bytes are held until they decide whether the job is PostScript.
DWORD TakeDocument(const OpenPort& open, PortJob* job, const BYTE* buffer, size_t size) {
  if (job->decided) return SendDocument(job, buffer, size);
  PsLookAhead& ahead = job->lookAhead;
  size_t taken = size < sizeof ahead.bytes - ahead.size ? size : sizeof ahead.bytes - ahead.size;
  if (taken) memcpy(ahead.bytes + ahead.size, buffer, taken);
  ahead.size += taken;
  long start = PsProgramStart(ahead.bytes, ahead.size);
  if (start == kPsUndecided) return 0;
  DWORD error = SendFirstBytes(open, job, start);
  return error ? error : SendDocument(job, buffer + taken, size - taken);
}

// *written counts the bytes of this write that were sent or held, and on failure those that went
// out: they go after the bytes held before them.
DWORD WriteDocument(const OpenPort& open, PortJob* job, const BYTE* buffer, DWORD size, DWORD* written) {
  unsigned long long before = job->documentBytes + job->lookAhead.size + job->end.heldSize;
  DWORD error = TakeDocument(open, job, buffer, size);
  *written = !error ? size : job->documentBytes > before ? static_cast<DWORD>(job->documentBytes - before) : 0;
  return error;
}

// Sends what the job still holds, with a wrapped job's trailer: in front of the document's closing
// job-language block when it ends with one, else after the document.
DWORD FinishDocument(const OpenPort& open, PortJob* job) {
  if (!job->decided && job->lookAhead.size > 0) {
    long start = PsProgramStart(job->lookAhead.bytes, job->lookAhead.size);
    DWORD error = SendFirstBytes(open, job, start == kPsUndecided ? -1 : start);  // no more bytes to tell
    if (error) return error;
  }
  if (!job->wrapped) return 0;
  bool closing = PsEndIsClosingBlock(job->end);
  DWORD error = closing ? 0 : PutDocument(job, job->end.held, job->end.heldSize);
  if (!error) error = PutText(job, PsJobTrailer());
  return error || !closing ? error : PutDocument(job, job->end.held, job->end.heldSize);
}

// The way a port's jobs go: VTLnet through the library's transport; TCP/IP by LPR when the port
// names a queue, else raw.
DeliveryWay* NewWayFor(const PortEntry& port) {
  if (port.protocol == kProtocolVnet) return NewVnetWay();
  return port.lprQueue[0] ? NewLprWay() : NewRawWay();
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
  job->way = NewWayFor(open->port);
  if (!job->way) {
    EndJob(job);
    return FailWith(ERROR_NOT_ENOUGH_MEMORY);
  }
  return Guarded([&] {
    const char* reason = nullptr;
    WayJob facts = {&open->port, job->timeoutMs, job->jobNumber, job->documentName, job->user};
    DWORD error = job->way->Reach(facts, job->printer, sizeof job->printer, &reason);
    BubblePrintf(job->trace, "StartDocPort %s: job \"%s\" to %s: error %lu", open->port.portName, job->documentName,
                 job->printer, error);
    WatchJobStart(open->port, *job->way, error == 0, &job->watch);
    if (!error) return TRUE;
    job->error = error;
    job->reason = reason;
    ReportNoPrinter(*open, job);
    EndJob(job);
    return FailWith(error);
  });
}

BOOL MonitorWritePort(HANDLE port, BYTE* buffer, DWORD size, DWORD* written) {
  auto* open = static_cast<OpenPort*>(port);
  PortJob* job = JobOf(port);
  if (written) *written = 0;
  if (!job || !job->active || !written || (!buffer && size)) return FailWith(ERROR_INVALID_PARAMETER);
  if (job->failed) return FailWith(job->error);
  return Guarded([&] {
    DWORD error = WriteDocument(*open, job, buffer, size, written);
    if (!error) return TRUE;
    job->failed = true;
    job->error = error;
    BubblePrintf(job->trace, "WritePort %s: error %lu after %s bytes of the document", open->port.portName, error,
                 std::to_string(job->documentBytes).c_str());
    ReportLost(*open, job);
    return FailWith(error);
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
    if (job->failed) return FailWith(job->error);  // reported when it failed
    DWORD error = FinishDocument(*open, job);
    if (!error) error = job->way->Finish(&job->documentBytes);
    BubblePrintf(job->trace, "EndDocPort %s: %s bytes of the document, error %lu", open->port.portName,
                 std::to_string(job->documentBytes).c_str(), error);
    if (!error) {
      job->printed = true;
      ReportPrinted(*open, job);
      return TRUE;
    }
    job->error = error;
    ReportLost(*open, job);
    return FailWith(error);
  });
  DWORD error = GetLastError();  // the job's own code, which the clean-up's calls would replace
  EndJob(job);
  SetLastError(error);
  return done;
}

bool MonitorJobOutcome(HANDLE port, JobOutcome* outcome) {
  const PortJob* job = JobOf(port);
  if (!job || job->active || !job->ended) return false;
  *outcome = JobOutcome{};
  outcome->printed = job->printed;
  outcome->error = job->printed ? 0 : job->error;
  if (!job->printed) {
    lstrcpynA(outcome->reason, job->reason ? job->reason : JobReasonText(job->error), sizeof outcome->reason);
  }
  lstrcpynA(outcome->printer, job->printer, sizeof outcome->printer);
  outcome->documentBytes = job->documentBytes;
  outcome->hasPages = job->hasPages;
  outcome->pages = job->pages;
  lstrcpynA(outcome->state, job->state, sizeof outcome->state);
  return true;
}

BOOL MonitorClosePort(HANDLE port) {
  auto* open = static_cast<OpenPort*>(port);
  if (!open) return FailWith(ERROR_INVALID_HANDLE);
  if (open->job && open->job->active) EndJob(open->job);
  MemFree(&open->job);
  MemFree(&open);
  return TRUE;
}
