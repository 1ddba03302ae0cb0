// SNMP GET over UDP, versions 1 and 2c (community-based): a request's encoding, the strict decoding
// of its answer, and the exchange with an agent. No other operation, no traps.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstddef>
#include <string>

#include "printer/ber.h"

constexpr long kSnmpV1 = 0, kSnmpV2c = 1;
constexpr size_t kSnmpMaxOids = 8;
constexpr size_t kSnmpValueBytes = 32;  // an OCTET STRING value keeps its first bytes only
constexpr long kSnmpNoSuchName = 2;     // SNMPv1 error-status naming the varbind the agent lacks

struct SnmpRequest {
  long version;
  const char* community;
  long requestId;
  const BerOid* oids;
  size_t count;
};

// A value as the agent gave it: its BER tag (kBerNoSuchObject and its kin for a value it lacks)
// and, by tag, the number (INTEGER; the unsigned application types) or the first bytes.
struct SnmpValue {
  BYTE tag;
  long long number;
  BYTE bytes[kSnmpValueBytes];
  size_t size;
};

struct SnmpResponse {
  long errorStatus;
  long errorIndex;
  SnmpValue values[kSnmpMaxOids];  // in the order of the request's OIDs
};

// Why an answer was refused.
enum class SnmpRefusal { kNone, kMalformed, kVersion, kCommunity, kPduType, kRequestId, kOid };

std::string SnmpEncodeGet(const SnmpRequest& request);

// Decodes the answer to `request`: one SEQUENCE that fills the datagram exactly, the request's
// version and community, a GetResponse with its request id, and as many varbinds as the request
// has OIDs, each naming the OID asked in its place.
SnmpRefusal SnmpDecodeResponse(const SnmpRequest& request, const BYTE* data, size_t size, SnmpResponse* response);

// One version's request in flight; an SNMPv1 one shrinks as the agent names values it lacks.
struct SnmpAsking {
  SnmpRequest request;
  BerOid oids[kSnmpMaxOids];
  size_t place[kSnmpMaxOids];  // each OID's place in the caller's list
  std::string datagram;
};

// A GET on its way, as SnmpGet below makes it, in two steps: Start sends the requests, and their
// answer waits in the socket until Finish takes it, so the asker can do other work meanwhile.
// Sockets must be started around it.
class SnmpExchange {
public:
  SnmpExchange() = default;
  ~SnmpExchange();
  SnmpExchange(const SnmpExchange&) = delete;
  SnmpExchange& operator=(const SnmpExchange&) = delete;

  // Sends the requests; the wait of `waitMs` starts now. False when no socket could send them. A
  // later Start, after Finish, asks the same agent again on the same socket, in the version it
  // answered in (the other goes out too if no answer came by halfway).
  bool Start(const sockaddr_storage& agent, const char* community, const BerOid* oids, size_t count, DWORD waitMs);
  // Takes the first sound answer that came, else waits for one until the wait is over; false when
  // none came (the last error then WSAETIMEDOUT).
  bool Finish(SnmpResponse* response);

private:
  SOCKET socket_ = INVALID_SOCKET;
  unsigned started_ = 0;
  long version_ = -1;  // the version the agent answered in, once it did
  SnmpAsking v2_, v1_;
  ULONGLONG halfway_ = 0, deadline_ = 0;  // GetTickCount64: when the requests go out again, when the wait ends
};

// Asks the agent at `agent` for `count` (at most kSnmpMaxOids) values, SNMPv2c and SNMPv1 at once,
// and takes the first sound answer; an SNMPv1 noSuchName is asked again without the value it names
// (which then reads kBerNoSuchObject). The requests go out again once halfway through `waitMs`;
// never waits longer in all. False when no sound answer came (the last error then WSAETIMEDOUT or
// the socket's code).
bool SnmpGet(const sockaddr_storage& agent, const char* community, const BerOid* oids, size_t count, DWORD waitMs,
             SnmpResponse* response);
