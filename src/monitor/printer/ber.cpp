#include "printer/ber.h"

bool BerRead(BerReader* reader, BerTlv* tlv, BYTE tag) {
  size_t at = reader->at;
  if (reader->size - at < 2) return false;
  BYTE read = reader->data[at++];
  if ((read & 0x1F) == 0x1F || (tag && read != tag)) return false;
  size_t length = reader->data[at++];
  if (length & 0x80) {
    size_t octets = length & 0x7F;
    if (octets == 0 || octets > 4 || reader->size - at < octets) return false;  // 0x80 is the indefinite form
    length = 0;
    while (octets--) length = (length << 8) | reader->data[at++];
  }
  if (length > reader->size - at) return false;
  *tlv = {read, reader->data + at, length};
  reader->at = at + length;
  return true;
}

BerReader BerInside(const BerTlv& tlv) { return {tlv.content, tlv.length, 0}; }

bool BerAtEnd(const BerReader& reader) { return reader.at == reader.size; }

bool BerInteger(const BerTlv& tlv, long* value) {
  if (tlv.length < 1 || tlv.length > 4) return false;
  DWORD bits = (tlv.content[0] & 0x80) ? ~0u : 0;
  for (size_t i = 0; i < tlv.length; ++i) bits = (bits << 8) | tlv.content[i];
  *value = static_cast<long>(bits);
  return true;
}

bool BerUnsigned(const BerTlv& tlv, DWORD* value) {
  size_t first = 0;
  while (first < tlv.length && tlv.content[first] == 0) ++first;
  if (tlv.length < 1 || tlv.length > 9 || tlv.length - first > 4) return false;
  DWORD bits = 0;
  for (size_t i = first; i < tlv.length; ++i) bits = (bits << 8) | tlv.content[i];
  *value = bits;
  return true;
}

bool BerReadOid(const BerTlv& tlv, BerOid* oid) {
  oid->count = 0;
  size_t at = 0;
  while (at < tlv.length) {
    if (tlv.content[at] == 0x80) return false;  // a padded subidentifier
    unsigned long long arc = 0;
    size_t octets = 0;
    BYTE octet;
    do {
      if (at == tlv.length || ++octets > 5) return false;
      octet = tlv.content[at++];
      arc = (arc << 7) | (octet & 0x7F);
    } while (octet & 0x80);
    if (arc > 0xFFFFFFFFull || oid->count + (oid->count ? 1 : 2) > kBerMaxArcs) return false;
    if (oid->count == 0) {  // the first subidentifier holds two arcs: 40 * first + second
      DWORD first = arc < 40 ? 0 : arc < 80 ? 1 : 2;
      oid->arcs[oid->count++] = first;
      arc -= 40 * first;
    }
    oid->arcs[oid->count++] = static_cast<DWORD>(arc);
  }
  return oid->count >= 2;
}

bool BerOidEqual(const BerOid& a, const BerOid& b) {
  if (a.count != b.count) return false;
  for (size_t i = 0; i < a.count; ++i) {
    if (a.arcs[i] != b.arcs[i]) return false;
  }
  return true;
}

void BerPutTlv(std::string* out, BYTE tag, const std::string& content) {
  out->push_back(static_cast<char>(tag));
  size_t length = content.size();
  if (length < 0x80) {
    out->push_back(static_cast<char>(length));
  } else {
    int octets = length > 0xFFFFFF ? 4 : length > 0xFFFF ? 3 : length > 0xFF ? 2 : 1;
    out->push_back(static_cast<char>(0x80 | octets));
    while (octets--) out->push_back(static_cast<char>(length >> (8 * octets)));
  }
  out->append(content);
}

void BerPutInteger(std::string* out, long value) {
  std::string content;
  int octets = 4;  // the fewest octets that keep the sign
  while (octets > 1 && ((value >> (8 * (octets - 1) - 1)) == 0 || (value >> (8 * (octets - 1) - 1)) == -1)) --octets;
  while (octets--) content.push_back(static_cast<char>(value >> (8 * octets)));
  BerPutTlv(out, kBerInteger, content);
}

void BerPutOctets(std::string* out, const char* text) { BerPutTlv(out, kBerOctetString, text); }

static void PutSubidentifier(std::string* content, unsigned long long arc) {
  int groups = 1;
  while (groups < 10 && (arc >> (7 * groups))) ++groups;
  while (groups--) content->push_back(static_cast<char>(((arc >> (7 * groups)) & 0x7F) | (groups ? 0x80 : 0)));
}

void BerPutOid(std::string* out, const BerOid& oid) {
  std::string content;
  if (oid.count >= 2) PutSubidentifier(&content, 40ull * oid.arcs[0] + oid.arcs[1]);
  for (size_t i = 2; i < oid.count; ++i) PutSubidentifier(&content, oid.arcs[i]);
  BerPutTlv(out, kBerOid, content);
}
