// Raw delivery: one TCP connection per job to the printer's port (9100 unless the port says), the
// job's bytes as they come, and the job done once the printer closed the connection after them.
#include <new>

#include "jobs/connection.h"
#include "jobs/deliveryway.h"
#include "names/resolve.h"

namespace {

class RawWay : public DeliveryWay {
public:
  DWORD Reach(const WayJob& job, char* printer, size_t size, const char**) override {
    timeoutMs_ = job.timeoutMs;
    if (!sockets_.started()) return WSASYSNOTREADY;
    DWORD error = ConnLocate(*job.port, kRawPort, "", &where_, printer, size);
    return error ? error : ConnOpen(where_, false, false, timeoutMs_, &connection_);
  }

  DWORD Send(const void* data, DWORD size, DWORD* sent) override {
    *sent = 0;
    return size ? ConnSend(connection_, data, size, &unlooked_, sent) : 0;
  }

  DWORD Finish(unsigned long long*) override { return ConnFinish(connection_, timeoutMs_); }

  void Abandon() override { ConnClose(&connection_); }

  bool PrinterAddress(sockaddr_storage* address) override { return ConnPrinterAddress(where_, connection_, address); }

private:
  ScopedSockets sockets_;  // declared first: the sockets stop after the connection closed
  ConnPrinter where_ = {};
  SOCKET connection_ = INVALID_SOCKET;
  DWORD timeoutMs_ = 0;
  DWORD unlooked_ = 0;  // bytes sent since the last look for the printer's close
};

}  // namespace

DeliveryWay* NewRawWay() {
  return new (std::nothrow) RawWay;
}
