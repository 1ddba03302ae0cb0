// The Basic Encoding Rules as far as an SNMP GET needs them: one-octet tags, definite lengths (short
// form, or long form of at most 4 octets), INTEGER, OCTET STRING, NULL, OBJECT IDENTIFIER, SEQUENCE
// and SNMP's application types. A reader is a cursor over a byte span that never reads past it and
// never recurses: the caller steps into a constructed value with BerInside.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

constexpr BYTE kBerInteger = 0x02, kBerOctetString = 0x04, kBerNull = 0x05, kBerOid = 0x06, kBerSequence = 0x30;
constexpr BYTE kBerCounter32 = 0x41, kBerGauge32 = 0x42, kBerTimeTicks = 0x43, kBerCounter64 = 0x46;
constexpr BYTE kBerGetRequest = 0xA0, kBerGetResponse = 0xA2;
constexpr BYTE kBerNoSuchObject = 0x80, kBerNoSuchInstance = 0x81, kBerEndOfMibView = 0x82;
constexpr size_t kBerMaxArcs = 32;

struct BerReader {
  const BYTE* data;
  size_t size;
  size_t at;  // the next unread octet
};

// One value: its tag and where its content lies, inside the reader's span.
struct BerTlv {
  BYTE tag;
  const BYTE* content;
  size_t length;
};

struct BerOid {
  DWORD arcs[kBerMaxArcs];
  size_t count;
};

// Reads the value at the cursor and steps past it. False, the cursor unmoved, when the span ends
// before the value does, the tag takes more than one octet, the length is indefinite or longer
// than 4 octets, or (with `tag` not 0) the tag is another.
bool BerRead(BerReader* reader, BerTlv* tlv, BYTE tag = 0);
// A reader over a value's content.
BerReader BerInside(const BerTlv& tlv);
bool BerAtEnd(const BerReader& reader);

// A signed INTEGER of 1 to 4 octets; longer ones are refused.
bool BerInteger(const BerTlv& tlv, long* value);
// An unsigned number (Counter32, Gauge32, TimeTicks, Counter64): leading zero octets aside, at most
// 4 octets; a Counter64 beyond 32 bits is refused, not clipped.
bool BerUnsigned(const BerTlv& tlv, DWORD* value);
// An OBJECT IDENTIFIER of at most kBerMaxArcs arcs of at most 32 bits each, minimally encoded.
bool BerReadOid(const BerTlv& tlv, BerOid* oid);
bool BerOidEqual(const BerOid& a, const BerOid& b);

// Encodings, appended to `out`.
void BerPutTlv(std::string* out, BYTE tag, const std::string& content);
void BerPutInteger(std::string* out, long value);
void BerPutOctets(std::string* out, const char* text);
void BerPutOid(std::string* out, const BerOid& oid);
