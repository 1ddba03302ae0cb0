// A way of delivery: how one job's bytes reach a port's printer (raw TCP/IP, LPR, VTLnet). Each
// way holds its own conversation with the printer; the job entry points choose the way, apply the
// port's options and drive it: Reach, then Send for every byte of the job, then Finish; Abandon
// when the job ends any other way. A way answers 0 or a Win32 error code (a socket's own code is
// one), and sleeps in none of them beyond the job's send timeout.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstddef>

#include "model/portentry.h"

// What a way knows of its job; the texts are sanitised and outlive the way.
struct WayJob {
  const PortEntry* port;
  DWORD timeoutMs;       // the port's send timeout
  unsigned jobNumber;    // 0 to 999
  const char* documentName;
  const char* user;      // the job's owner
};

class DeliveryWay {
public:
  virtual ~DeliveryWay() = default;

  // Reaches the job's printer and makes it ready to take the job. Writes the printer as events name
  // it into `printer` (`size` bytes), also on failure; may point *reason at a plainer account of a
  // failure than its code gives.
  virtual DWORD Reach(const WayJob& job, char* printer, size_t size, const char** reason) = 0;

  // Puts the job's next bytes on their way; *sent counts those that went, also on failure.
  virtual DWORD Send(const void* data, DWORD size, DWORD* sent) = 0;

  // After the job's last byte: 0 once the printer took every byte. A way that sends the document
  // only now sets *documentBytes to what of it went out when it fails on the way.
  virtual DWORD Finish(unsigned long long* documentBytes) = 0;

  // Gives up the job undelivered and lets go of the printer, at once; the way is deleted after.
  virtual void Abandon() = 0;

  // After Reach: the TCP/IP address the printer answered at, else the first one tried; false when
  // the way reaches its printer otherwise or found no address.
  virtual bool PrinterAddress(sockaddr_storage*) { return false; }
};

// A new way, to be deleted by the caller; null when there is no memory for it. Raw: the job's
// bytes straight to the printer's TCP port. LPR: the port's queue (RFC 1179), with the job spooled
// until its size is known. VTLnet: the VTLnet library's transport to the printer's node.
DeliveryWay* NewRawWay();
DeliveryWay* NewLprWay();
DeliveryWay* NewVnetWay();
