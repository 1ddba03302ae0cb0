// VTLnet delivery: the VTLnet library's transport to the printer's node, its stored name resolved
// now, else its stored address.
#include <cstdio>
#include <new>

#include "base/text.h"
#include "jobs/deliveryway.h"
#include "names/resolve.h"

namespace {

class VnetWay : public DeliveryWay {
public:
  DWORD Reach(const WayJob& job, char* printer, size_t size, const char**) override {
    const PortEntry& port = *job.port;
    char address[kVnetAddressSize] = {};
    VnetNameToAddress(port.vnetName, address, sizeof address);
    if (!address[0]) CopyBounded(address, port.vnetAddress, sizeof address);
    address[sizeof address - 1] = '\0';
    snprintf(printer, size, "%s (%s, VTLnet)", port.vnetName[0] ? port.vnetName : address,
             address[0] ? address : "no address");
    VnetAddressRecord* record = address[0] ? VnetAddr(address) : nullptr;
    if (!record) return address[0] ? ERROR_MOD_NOT_FOUND : ERROR_INVALID_ADDRESS;
    connection_ = VnetConnect(reinterpret_cast<const char*>(record->address), record->length, job.timeoutMs);
    return connection_ ? 0 : GetLastError();
  }

  DWORD Send(const void* data, DWORD size, DWORD* sent) override {
    *sent = 0;
    if (size == 0) return 0;
    *sent = static_cast<DWORD>(VnetSend(connection_, static_cast<const char*>(data), static_cast<int>(size)));
    return *sent == size ? 0 : GetLastError();
  }

  DWORD Finish(unsigned long long*) override { return Close(TRUE); }

  void Abandon() override { Close(FALSE); }

private:
  DWORD Close(BOOL finish) {
    if (!connection_) return 0;
    int error = VnetClose(connection_, finish);
    connection_ = nullptr;
    return static_cast<DWORD>(error);
  }

  VnetConnection* connection_ = nullptr;
};

}  // namespace

DeliveryWay* NewVnetWay() {
  return new (std::nothrow) VnetWay;
}
