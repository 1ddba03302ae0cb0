#include "printer/snmp.h"

#include <cstring>

#include "names/resolve.h"

std::string SnmpEncodeGet(const SnmpRequest& request) {
  std::string varbinds;
  for (size_t i = 0; i < request.count; ++i) {
    std::string varbind;
    BerPutOid(&varbind, request.oids[i]);
    BerPutTlv(&varbind, kBerNull, "");
    BerPutTlv(&varbinds, kBerSequence, varbind);
  }
  std::string pdu, message, datagram;
  BerPutInteger(&pdu, request.requestId);
  BerPutInteger(&pdu, 0);  // error-status
  BerPutInteger(&pdu, 0);  // error-index
  BerPutTlv(&pdu, kBerSequence, varbinds);
  BerPutInteger(&message, request.version);
  BerPutOctets(&message, request.community);
  BerPutTlv(&message, kBerGetRequest, pdu);
  BerPutTlv(&datagram, kBerSequence, message);
  return datagram;
}

static bool ReadValue(const BerTlv& tlv, SnmpValue* value) {
  *value = {};
  value->tag = tlv.tag;
  switch (tlv.tag) {
  case kBerInteger: {
    long number;
    if (!BerInteger(tlv, &number)) return false;
    value->number = number;
    return true;
  }
  case kBerCounter32: case kBerGauge32: case kBerTimeTicks: case kBerCounter64: {
    DWORD number;
    if (!BerUnsigned(tlv, &number)) return false;
    value->number = number;
    return true;
  }
  case kBerNull: case kBerNoSuchObject: case kBerNoSuchInstance: case kBerEndOfMibView:
    return tlv.length == 0;
  default:  // OCTET STRING, and the types this client does not read, as their first bytes
    value->size = tlv.length < kSnmpValueBytes ? tlv.length : kSnmpValueBytes;
    memcpy(value->bytes, tlv.content, value->size);
    return (tlv.tag & 0x20) == 0;
  }
}

static SnmpRefusal ReadVarbinds(const SnmpRequest& request, BerReader list, SnmpResponse* response) {
  for (size_t i = 0; i < request.count; ++i) {
    BerTlv varbind, name, value;
    if (!BerRead(&list, &varbind, kBerSequence)) return SnmpRefusal::kMalformed;
    BerReader inside = BerInside(varbind);
    BerOid oid;
    if (!BerRead(&inside, &name, kBerOid) || !BerReadOid(name, &oid)) return SnmpRefusal::kMalformed;
    if (!BerOidEqual(oid, request.oids[i])) return SnmpRefusal::kOid;
    if (!BerRead(&inside, &value) || !BerAtEnd(inside) || !ReadValue(value, &response->values[i])) {
      return SnmpRefusal::kMalformed;
    }
  }
  return BerAtEnd(list) ? SnmpRefusal::kNone : SnmpRefusal::kOid;
}

SnmpRefusal SnmpDecodeResponse(const SnmpRequest& request, const BYTE* data, size_t size, SnmpResponse* response) {
  BerReader datagram = {data, size, 0};
  BerTlv message, field;
  long number;
  if (!BerRead(&datagram, &message, kBerSequence) || !BerAtEnd(datagram)) return SnmpRefusal::kMalformed;
  BerReader inside = BerInside(message);
  if (!BerRead(&inside, &field, kBerInteger) || !BerInteger(field, &number)) return SnmpRefusal::kMalformed;
  if (number != request.version) return SnmpRefusal::kVersion;
  if (!BerRead(&inside, &field, kBerOctetString)) return SnmpRefusal::kMalformed;
  if (field.length != strlen(request.community) || memcmp(field.content, request.community, field.length) != 0) {
    return SnmpRefusal::kCommunity;
  }
  if (!BerRead(&inside, &field) || !BerAtEnd(inside)) return SnmpRefusal::kMalformed;
  if (field.tag != kBerGetResponse) return SnmpRefusal::kPduType;
  BerReader pdu = BerInside(field);
  if (!BerRead(&pdu, &field, kBerInteger) || !BerInteger(field, &number)) return SnmpRefusal::kMalformed;
  if (number != request.requestId) return SnmpRefusal::kRequestId;
  BerTlv status, index, list;
  if (!BerRead(&pdu, &status, kBerInteger) || !BerInteger(status, &response->errorStatus) ||
      !BerRead(&pdu, &index, kBerInteger) || !BerInteger(index, &response->errorIndex) ||
      !BerRead(&pdu, &list, kBerSequence) || !BerAtEnd(pdu)) {
    return SnmpRefusal::kMalformed;
  }
  return ReadVarbinds(request, BerInside(list), response);
}

namespace {

void StartAsking(SnmpAsking* asking, long version, const char* community, long requestId, const BerOid* oids,
                 size_t count) {
  for (size_t i = 0; i < count; ++i) {
    asking->oids[i] = oids[i];
    asking->place[i] = i;
  }
  asking->request = {version, community, requestId, asking->oids, count};
  asking->datagram = SnmpEncodeGet(asking->request);
}

// Drops the OID an SNMPv1 noSuchName names (1-based), marking it lacking in *response, and encodes
// the smaller request under a new id. False when the index names no OID of the request.
bool AskWithout(SnmpAsking* asking, long errorIndex, SnmpResponse* response) {
  size_t count = asking->request.count;
  if (errorIndex < 1 || static_cast<size_t>(errorIndex) > count) return false;
  response->values[asking->place[errorIndex - 1]].tag = kBerNoSuchObject;
  for (size_t i = errorIndex; i < count; ++i) {
    asking->oids[i - 1] = asking->oids[i];
    asking->place[i - 1] = asking->place[i];
  }
  asking->request.count = count - 1;
  asking->request.requestId += 2;
  asking->datagram = SnmpEncodeGet(asking->request);
  return true;
}

void Send(SOCKET socket, const SnmpAsking& asking) {
  send(socket, asking.datagram.data(), static_cast<int>(asking.datagram.size()), 0);
}

// Whether the datagram soundly answers one of the requests; fills *response and *version when it does.
bool TakeAnswer(SOCKET socket, const BYTE* data, size_t size, SnmpAsking* v2, SnmpAsking* v1, SnmpResponse* response,
                long* version) {
  SnmpResponse answer = {};
  if (SnmpDecodeResponse(v2->request, data, size, &answer) == SnmpRefusal::kNone) {
    *response = answer;
    *version = kSnmpV2c;
    return true;
  }
  if (SnmpDecodeResponse(v1->request, data, size, &answer) != SnmpRefusal::kNone) return false;
  if (answer.errorStatus == kSnmpNoSuchName && AskWithout(v1, answer.errorIndex, response)) {
    if (v1->request.count > 0) {
      Send(socket, *v1);
      return false;
    }
    answer = {};
  }
  response->errorStatus = answer.errorStatus;
  response->errorIndex = answer.errorIndex;
  for (size_t i = 0; i < v1->request.count; ++i) response->values[v1->place[i]] = answer.values[i];
  *version = kSnmpV1;
  return true;
}

// Waits `waitMs` at most for a datagram (0: takes only one that is there); its size, or 0 when none came.
// The socket does not block: a datagram that is there is taken without a select.
size_t Receive(SOCKET socket, ULONGLONG waitMs, BYTE* data, size_t size) {
  if (waitMs > 0) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket, &readable);
    timeval timeout = {static_cast<long>(waitMs / 1000), static_cast<long>(waitMs % 1000) * 1000};
    if (select(0, &readable, nullptr, nullptr, &timeout) != 1) return 0;
  }
  int received = recv(socket, reinterpret_cast<char*>(data), static_cast<int>(size), 0);
  return received > 0 ? static_cast<size_t>(received) : 0;  // an error (a refused port) is waited past
}

}  // namespace

SnmpExchange::~SnmpExchange() {
  if (socket_ != INVALID_SOCKET) closesocket(socket_);
}

bool SnmpExchange::Start(const sockaddr_storage& agent, const char* community, const BerOid* oids, size_t count,
                         DWORD waitMs) {
  if (count > kSnmpMaxOids) count = kSnmpMaxOids;
  if (socket_ == INVALID_SOCKET) {
    socket_ = socket(agent.ss_family, SOCK_DGRAM, IPPROTO_UDP);
    int length = agent.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    u_long nonBlocking = 1;
    if (socket_ == INVALID_SOCKET || connect(socket_, reinterpret_cast<const sockaddr*>(&agent), length) != 0 ||
        ioctlsocket(socket_, FIONBIO, &nonBlocking) != 0) {
      return false;
    }
  }
  // A new id each time: a late answer to an earlier request on this socket is no answer to this one.
  long requestId = static_cast<long>(((GetTickCount() ^ (GetCurrentProcessId() << 12)) + 4 * ++started_) & 0x3FFFFFFE);
  StartAsking(&v2_, kSnmpV2c, community, requestId, oids, count);
  StartAsking(&v1_, kSnmpV1, community, requestId + 1, oids, count);
  const ULONGLONG start = GetTickCount64();
  halfway_ = start + waitMs / 2;
  deadline_ = start + waitMs;
  // An agent that answered one version before is asked in that one; both go out again halfway.
  if (version_ != kSnmpV1) Send(socket_, v2_);
  if (version_ != kSnmpV2c) Send(socket_, v1_);
  return true;
}

bool SnmpExchange::Finish(SnmpResponse* response) {
  *response = {};
  if (socket_ == INVALID_SOCKET) return false;
  BYTE datagram[1500];
  // What came meanwhile is read first, also once the wait is over.
  for (size_t size; (size = Receive(socket_, 0, datagram, sizeof datagram)) > 0;) {
    if (TakeAnswer(socket_, datagram, size, &v2_, &v1_, response, &version_)) return true;
  }
  for (ULONGLONG now = GetTickCount64(); now < deadline_; now = GetTickCount64()) {
    bool resend = now >= halfway_;
    if (resend) {
      Send(socket_, v2_);
      Send(socket_, v1_);
      halfway_ = deadline_;
    }
    size_t size = Receive(socket_, (resend ? deadline_ : halfway_) - now, datagram, sizeof datagram);
    if (size && TakeAnswer(socket_, datagram, size, &v2_, &v1_, response, &version_)) return true;
  }
  *response = {};
  SetLastError(WSAETIMEDOUT);
  return false;
}

bool SnmpGet(const sockaddr_storage& agent, const char* community, const BerOid* oids, size_t count, DWORD waitMs,
             SnmpResponse* response) {
  *response = {};
  ScopedSockets sockets;
  SnmpExchange exchange;
  return exchange.Start(agent, community, oids, count, waitMs) && exchange.Finish(response);
}
