// What a printer tells of itself over SNMP: the strict reading of an agent's answer, a real agent's
// values in words, and the silence memory of an agent that does not answer.
#include <gtest/gtest.h>

#include <string>


#include "printer/printerstate.h"
#include "printer/snmp.h"
#include "testagent.h"
#include "testregistry.h"

using namespace std::string_literals;

namespace {

std::string Tlv(char tag, const std::string& content) { return std::string{tag, char(content.size())} + content; }

// An answer to the request below, built by hand from its parts (short lengths only), one part replaced.
enum Part { kHead, kPdu, kId, kVarbinds, kTail };
std::string Bytes(Part part = kTail, const std::string& replaced = "") {
  std::string parts[] = {"\x02\x01\x01\x04\x06public"s, "\xA2", "\x02\x02\x12\x34"s,
                         "\x30\x10\x06\x0B\x2B\x06\x01\x02\x01\x19\x03\x02\x01\x05\x01\x02\x01\x02"s, ""};
  parts[part] = replaced;
  const std::string pdu = parts[kId] + "\x02\x01\x00\x02\x01\x00"s + Tlv('\x30', parts[kVarbinds]);
  return Tlv('\x30', parts[kHead] + Tlv(parts[kPdu][0], pdu)) + parts[kTail];
}

const BerOid kDeviceStatus1 = {{1, 3, 6, 1, 2, 1, 25, 3, 2, 1, 5, 1}, 12};
const SnmpRequest kRequest = {kSnmpV2c, "public", 0x1234, &kDeviceStatus1, 1};

SnmpRefusal Decode(const std::string& bytes, SnmpResponse* response) {
  return SnmpDecodeResponse(kRequest, reinterpret_cast<const BYTE*>(bytes.data()), bytes.size(), response);
}

TEST(PrinterTest, AnAnswerIsReadOnlyWhenEveryPartIsSoundAndTheOneAsked) {
  const std::string sound = Bytes(), content = sound.substr(2);
  const std::string oid = "\x06\x0B\x2B\x06\x01\x02\x01\x19\x03\x02\x01\x05\x01"s;
  for (auto [bytes, refusal] : std::initializer_list<std::pair<std::string, SnmpRefusal>>{
           {"\x30\x82\0"s + char(content.size()) + content, SnmpRefusal::kNone},
           {"\x30\x2C"s + content, SnmpRefusal::kMalformed}, {"\x30\x80"s + content + "\0\0"s, SnmpRefusal::kMalformed},
           {"\x30\x85\0\0\0\0\x2B"s + content, SnmpRefusal::kMalformed},
           {"\x31\x2B"s + content, SnmpRefusal::kMalformed},
           {Bytes(kHead, "\x02\x01\x00\x04\x06public"s), SnmpRefusal::kVersion},
           {Bytes(kHead, "\x02\x01\x01\x04\x06Public"s), SnmpRefusal::kCommunity},
           {Bytes(kPdu, "\xA0"), SnmpRefusal::kPduType}, {Bytes(kId, "\x02\x02\x12\x35"s), SnmpRefusal::kRequestId},
           {Bytes(kVarbinds, Tlv('\x30', oid.substr(0, 12) + "\x02\x02\x01\x02"s)), SnmpRefusal::kOid},
           {Bytes(kVarbinds, Tlv('\x30', oid + "\x02\x09\0\0\0\0\0\0\0\0\x02"s)), SnmpRefusal::kMalformed},
           {Bytes(kVarbinds, Tlv('\x30', oid + "\x46\x05\x01\0\0\0\0"s)), SnmpRefusal::kMalformed},
           {Bytes(kTail, "\0"s), SnmpRefusal::kMalformed}}) {
    SnmpResponse response = {};
    EXPECT_EQ(refusal, Decode(bytes, &response)) << testing::PrintToString(bytes);
    if (refusal == SnmpRefusal::kNone) {
      EXPECT_EQ(2, response.values[0].number);
    }
  }
  for (size_t size = 0; size < sound.size(); ++size) {
    SnmpResponse response;
    EXPECT_NE(SnmpRefusal::kNone, Decode(sound.substr(0, size), &response)) << size;
  }
}

sockaddr_storage Loopback(const char* address) {
  sockaddr_storage loopback = {};
  int size = sizeof loopback;
  WSAStringToAddressA(const_cast<char*>(address), strchr(address, ':') ? AF_INET6 : AF_INET, nullptr,
                      reinterpret_cast<sockaddr*>(&loopback), &size);
  return loopback;
}

TEST(PrinterTest, ARealAgentTellsThePrintersStateToItsCommunityOnly) {
  TestAgent agent("com2sec old 127.0.0.1 old\ngroup old v1 old\nview all included .1\n"
                  "access old \"\" v1 noauth exact all none none\n"  // community "old" speaks SNMPv1 only
                  "override 1.3.6.1.2.1.25.3.2.1.5.1 integer 3\noverride 1.3.6.1.2.1.25.3.5.1.2.1 octet_str 0xC800\n"
                  "override 1.3.6.1.2.1.25.3.2.1.5.2 integer 2\noverride 1.3.6.1.2.1.25.3.5.1.1.2 integer 4\n");
  PortEntry port = {};
  port.snmpPortNumber = agent.port();
  agent.SetPageCount(41);
  const sockaddr_storage ipv4 = Loopback("127.0.0.1");
  const DWORD patiently = 10 * kSnmpWaitMs;  // a busy machine's agent may be slow; an answer ends the wait
  PrinterState state;
  ASSERT_TRUE(PrinterStateAsk(PrinterAgentFor(port, ipv4), patiently, &state));
  char words[64];
  PrinterStateWords(state, words, sizeof words);
  EXPECT_STREQ("paper out, door open, paper low", words);  // stop conditions before warnings
  EXPECT_TRUE(PrinterStateBlocks(state));
  EXPECT_EQ(kDeviceWarning, state.deviceStatus);
  EXPECT_TRUE(state.hasPageCount && state.pageCount == 41);
  agent.SetPageCount(42);
  ASSERT_TRUE(PrinterStateAsk(PrinterAgentFor(port, ipv4), patiently, &state));
  EXPECT_EQ(42u, state.pageCount);
  port.snmpDeviceIndex = 2;
  for (auto [address, community] : {std::pair{"::1", ""}, {"127.0.0.1", "old"}}) {
    snprintf(port.snmpCommunity, sizeof port.snmpCommunity, "%s", community);
    ASSERT_TRUE(PrinterStateAsk(PrinterAgentFor(port, Loopback(address)), patiently, &state)) << community;
    PrinterStateWords(state, words, sizeof words);
    EXPECT_STREQ("printing", words);
    EXPECT_FALSE(state.hasPageCount || PrinterStateBlocks(state));
  }
  snprintf(port.snmpCommunity, sizeof port.snmpCommunity, "other");
  EXPECT_FALSE(PrinterStateAsk(PrinterAgentFor(port, ipv4), kSnmpWaitMs / 4, &state));
  TestMonitorKey key;  // an agent that answers is forgotten by the silence memory
  const ULONGLONG stale = 0;
  const std::string name = "127.0.0.1:" + std::to_string(agent.port());
  key.SetValue("SNMP Silence", name.c_str(), REG_QWORD, &stale, sizeof stale);
  port.snmpCommunity[0] = '\0';
  EXPECT_TRUE(PrinterStateAskForJob(key.path(), PrinterAgentFor(port, ipv4), &state));
  EXPECT_FALSE(key.HasValue("SNMP Silence", name.c_str()));
}

// A printer that does not answer costs a job one wait, then none until it is forgotten.
TEST(PrinterTest, AnAgentThatDidNotAnswerIsLeftUnaskedUntilForgotten) {
  TestMonitorKey key;
  WSADATA data;
  ASSERT_EQ(0, WSAStartup(MAKEWORD(2, 2), &data));
  SOCKET silent = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  sockaddr_storage address = Loopback("127.0.0.1");
  int length = sizeof(sockaddr_in);
  ASSERT_EQ(0, bind(silent, reinterpret_cast<sockaddr*>(&address), length));
  getsockname(silent, reinterpret_cast<sockaddr*>(&address), &length);
  u_long nonBlocking = 1;
  ioctlsocket(silent, FIONBIO, &nonBlocking);
  auto received = [&] {
    char datagram[512];
    int count = 0;
    while (count < 100 && recv(silent, datagram, sizeof datagram, 0) > 0) ++count;
    return count;
  };
  PortEntry port = {};
  port.snmpPortNumber = ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);
  const PrinterAgent agent = PrinterAgentFor(port, address);
  const std::string name = "127.0.0.1:" + std::to_string(port.snmpPortNumber);
  PrinterState state;
  EXPECT_FALSE(PrinterStateAskForJob(key.path(), agent, &state));
  EXPECT_GT(received(), 0);
  EXPECT_TRUE(key.HasValue("SNMP Silence", name.c_str()));
  EXPECT_FALSE(PrinterStateAskForJob(key.path(), agent, &state));
  EXPECT_EQ(0, received());
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, key.Below("SNMP Silence").c_str(), name.c_str()));
  EXPECT_FALSE(PrinterStateAskForJob(key.path(), agent, &state));
  EXPECT_GT(received(), 0);
  closesocket(silent);
  WSACleanup();
}

}  // namespace
