// LPR delivery (RFC 1179): at the start the printer's queue must accept a job; the job's bytes are
// spooled to a temporary file so that the data file can be announced with its exact size; at the
// end a connection of its own carries the data file and the control file, each acknowledged.
#include <winsock2.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "base/scoped.h"
#include "jobs/connection.h"
#include "jobs/deliveryway.h"
#include "jobs/jobtext.h"
#include "jobs/lpr.h"
#include "names/resolve.h"

namespace {

constexpr DWORD kSpoolChunk = 65536;

// The spool: a temporary file that goes away when it is closed, whatever happens.
DWORD OpenSpool(ScopedHandle* spool) {
  char directory[MAX_PATH];
  char path[MAX_PATH];
  DWORD length = GetTempPathA(sizeof directory, directory);
  if (length == 0 || length >= sizeof directory || !GetTempFileNameA(directory, "vpm", 0, path)) {
    return GetLastError();
  }
  spool->reset(CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  if (*spool) return 0;
  DWORD error = GetLastError();
  DeleteFileA(path);
  return error;
}

class LprWay : public DeliveryWay {
public:
  DWORD Reach(const WayJob& job, char* printer, size_t size, const char** reason) override {
    job_ = job;
    if (!sockets_.started()) return WSASYSNOTREADY;
    char queue[kLprQueueSize];
    JobSanitizeText(job.port->lprQueue, queue, sizeof queue);
    DWORD error = ConnLocate(*job.port, kLprPort, (std::string(", LPR queue ") + queue).c_str(), &printer_, printer,
                             size);
    if (error) return error;
    // Whether the printer and its queue answer; the files go on a connection of their own at the end.
    error = Connect();
    reached_ = ConnPrinterAddress(printer_, connection_, &address_);
    ConnClose(&connection_);
    if (error == WSAECONNREFUSED) *reason = "the printer refused the LPR queue";
    return error ? error : OpenSpool(&spool_);
  }

  DWORD Send(const void* data, DWORD size, DWORD* sent) override {
    *sent = 0;
    if (size == 0) return 0;
    if (!WriteFile(spool_.get(), data, size, sent, nullptr)) return GetLastError();
    spooledBytes_ += *sent;
    return *sent == size ? 0 : ERROR_DISK_FULL;
  }

  // An empty job sends nothing, as an empty raw job puts nothing on the line.
  DWORD Finish(unsigned long long* documentBytes) override {
    return spooledBytes_ ? SendFiles(documentBytes) : 0;
  }

  void Abandon() override {
    ConnClose(&connection_);
    spool_.reset();  // deleted on close
  }

  bool PrinterAddress(sockaddr_storage* address) override {
    if (reached_) *address = address_;
    return reached_;
  }

private:
  // One byte from the printer: 0 accepts, anything else or a closed connection refuses.
  DWORD AwaitAcknowledgement() {
    char answer = 1;
    DWORD received = 0;
    DWORD error = ConnReceive(connection_, &answer, 1, job_.timeoutMs, &received);
    if (error) return error;
    if (received == 0) return WSAECONNRESET;
    return answer == 0 ? 0 : WSAECONNREFUSED;
  }

  DWORD SendCommand(const std::string& command) {
    DWORD sent = 0;
    DWORD error = ConnSend(connection_, command.data(), static_cast<DWORD>(command.size()), nullptr, &sent);
    return error ? error : AwaitAcknowledgement();
  }

  LprJob Described(char* host) const {
    if (gethostname(host, 64) != 0) strcpy(host, "localhost");
    return LprJob{job_.port->lprQueue, host, job_.user, job_.documentName, job_.jobNumber};
  }

  // A connection of the job's own (from a reserved port when one is free), with the queue
  // accepting the job; every command goes out at once.
  DWORD Connect() {
    DWORD error = ConnOpenLpr(printer_, job_.timeoutMs, &connection_);
    if (error) return error;
    char host[64];
    return SendCommand(LprReceiveJobCommand(Described(host)));
  }

  // On a connection made now (the one of the start may have been dropped while the job was
  // spooled): the data file announced with its exact size and streamed, then the control file.
  // The job is done once the printer acknowledged the control file.
  DWORD SendFiles(unsigned long long* documentBytes) {
    DWORD error = Connect();
    if (error) return error;
    char host[64];
    LprJob lpr = Described(host);
    error = SendCommand(LprFileCommand('\3', spooledBytes_, LprDataFileName(lpr)));
    if (!error) error = StreamSpool(documentBytes);
    if (!error) error = SendCommand(std::string(1, '\0'));
    if (error) return error;
    std::string control = LprControlFile(lpr);
    error = SendCommand(LprFileCommand('\2', control.size(), LprControlFileName(lpr)));
    return error ? error : SendCommand(control + '\0');
  }

  DWORD StreamSpool(unsigned long long* documentBytes) {
    if (SetFilePointer(spool_.get(), 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return GetLastError();
    static_assert(kSpoolChunk <= 1 << 20, "the chunk lives on the stack");
    char chunk[kSpoolChunk];
    unsigned long long dataSent = 0;
    DWORD unlooked = 0;
    for (;;) {
      DWORD read = 0;
      if (!ReadFile(spool_.get(), chunk, sizeof chunk, &read, nullptr)) return GetLastError();
      if (read == 0) return 0;
      DWORD sent = 0;
      DWORD error = ConnSend(connection_, chunk, read, &unlooked, &sent);
      dataSent += sent;
      if (error) {
        *documentBytes = dataSent;  // a lost job's event counts what of the data file went out
        return error;
      }
    }
  }

  ScopedSockets sockets_;  // declared first: the sockets stop after the connection closed
  WayJob job_ = {};
  ConnPrinter printer_ = {};
  bool reached_ = false;  // the printer's address at the start is known
  sockaddr_storage address_ = {};
  SOCKET connection_ = INVALID_SOCKET;
  ScopedHandle spool_;
  unsigned long long spooledBytes_ = 0;
};

}  // namespace

DeliveryWay* NewLprWay() {
  return new (std::nothrow) LprWay;
}
