#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "model/portconfig.h"

namespace {

class PortConfigTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_NE(nullptr, record); }
  void TearDown() override { EXPECT_EQ(nullptr, DestroyPortConfig(record)); }

  // The port settings of the record, or of an entry, in one line.
  std::string Settings() {
    const PortConfig& r = *record;
    char text[256];
    snprintf(text, sizeof text, "tcp=%lu vnet=%lu %s t:%s/%s v:%s/%s banner=%lu trays=%lu:%lu %lu:%lu %lu:%lu",
             r.tcpProtocol, r.vnetProtocol, r.portName, r.tcpName, r.tcpAddress, r.vnetName, r.vnetAddress, r.banner,
             r.setBannerTray, r.bannerTrayNumber, r.setOutputTray, r.outputTrayNumber, r.setInputTray,
             r.inputTrayNumber);
    return text;
  }
  static std::string Settings(const PortEntry& e) {
    char text[256];
    snprintf(text, sizeof text, "%lu %s t:%s/%s v:%s/%s banner=%lu trays=%lu:%lu %lu:%lu %lu:%lu", e.protocol,
             e.portName, e.tcpName, e.tcpAddress, e.vnetName, e.vnetAddress, e.banner, e.setBannerTray,
             e.bannerTrayNumber, e.setOutputTray, e.outputTrayNumber, e.setInputTray, e.inputTrayNumber);
    return text;
  }

  HINSTANCE instance = GetModuleHandleA(nullptr);
  HWND owner = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1234));
  PortConfig* record = CreatePortConfig(instance, owner);
};

TEST_F(PortConfigTest, NewRecordHoldsItsDefaultsAndNothingElse) {
  PortConfig expected = {};
  expected.psDataType = 1;
  expected.bannerTrayNumber = expected.inputTrayNumber = expected.outputTrayNumber = 1;
  expected.instance = instance;
  expected.ownerWindow = owner;
  EXPECT_EQ(0, memcmp(&expected, record, sizeof expected));
}

TEST_F(PortConfigTest, EveryAttributeReachesItsOwnFieldAndOnlyExactNamesAreKnown) {
  const PortConfig& r = *record;
  const struct {
    const char* name;
    const void* field;
    DWORD width;  // 4: a flag or number
  } slots[] = {
      {"Allow TCP/IP", &r.allowTcp, 4},         {"Allow VTLnet", &r.allowVnet, 4},
      {"TCP/IP Protocol", &r.tcpProtocol, 4},   {"VTLnet Protocol", &r.vnetProtocol, 4},
      {"PS Data Type", &r.psDataType, 4},       {"PCL Data Type", &r.pclDataType, 4},
      {"Banner", &r.banner, 4},                 {"Read Only", &r.readOnly, 4},
      {"Set Banner Tray", &r.setBannerTray, 4}, {"Banner Tray Number", &r.bannerTrayNumber, 4},
      {"Set Input Tray", &r.setInputTray, 4},   {"Input Tray Number", &r.inputTrayNumber, 4},
      {"Set Output Tray", &r.setOutputTray, 4}, {"Output Tray Number", &r.outputTrayNumber, 4},
      {"Logging Level", &r.loggingLevel, 4},    {"Trace", &r.trace, 4},
      {"Bubble", &r.bubble, 4},                 {"Port Name", r.portName, 50},
      {"TCP/IP Name", r.tcpName, 50},           {"TCP/IP Address", r.tcpAddress, 16},
      {"VTLnet Name", r.vnetName, 7},           {"VTLnet Address", r.vnetAddress, 8},
      {"Trace File", r.traceFile, 250},
  };
  DWORD number = 100;
  for (const auto& slot : slots) {
    BYTE* field = nullptr;
    DWORD width = 0;
    BOOL isText = 2;
    ASSERT_TRUE(FindPortAttribute(record, slot.name, &field, &width, &isText)) << slot.name;
    EXPECT_EQ(slot.field, field) << slot.name;
    EXPECT_EQ(slot.width, width) << slot.name;
    EXPECT_EQ(slot.width != 4, isText != FALSE) << slot.name;
    // A value of its own, written by name, lands in the field; a text is cut to width - 1.
    const std::string text = std::to_string(++number) + std::string(300, 'x');
    ASSERT_TRUE(SetPortAttribute(record, slot.name, isText ? static_cast<const void*>(text.c_str()) : &number));
    EXPECT_EQ(isText ? text.substr(0, width - 1) : std::to_string(number),
              isText ? static_cast<const char*>(slot.field) : std::to_string(*static_cast<const DWORD*>(slot.field)))
        << slot.name;
  }

  PortConfig before = *record;
  for (const char* name : {"banner", "Port name", "", "Banner "}) {
    BYTE* field = nullptr;
    DWORD width = 0;
    BOOL isText = FALSE;
    char copy[8] = "same";
    EXPECT_FALSE(FindPortAttribute(record, name, &field, &width, &isText)) << name;
    EXPECT_FALSE(SetPortAttribute(record, name, "x")) << name;
    EXPECT_FALSE(GetPortAttribute(record, name, nullptr, sizeof copy, copy, nullptr)) << name;
    EXPECT_STREQ("same", copy);
  }
  EXPECT_EQ(0, memcmp(&before, record, sizeof before));
}

TEST_F(PortConfigTest, TypedSettersCutToWidthLessOneAndAddressesForgetTheirLookup) {
  const std::string longText(300, 'x');
  const struct {
    BOOL (*set)(PortConfig*, const char*);
    const char* field;
    size_t width;
  } cases[] = {{SetPortName, record->portName, 50},     {SetTcpName, record->tcpName, 50},
               {SetTcpAddress, record->tcpAddress, 16}, {SetVnetName, record->vnetName, 7},
               {SetVnetAddress, record->vnetAddress, 8}};
  for (const auto& c : cases) {
    c.set(record, longText.c_str());
    EXPECT_EQ(std::string(c.width - 1, 'x'), c.field) << "width " << c.width;
  }
  SetVnetAddress(record, "1.2");
  SetVnetName(record, longText.c_str());
  EXPECT_STREQ("1.2", record->vnetAddress) << "the next field";

  // Setting an address forgets that protocol's lookup; names leave it to the dialog.
  record->tcpLookupDone = record->vnetLookupDone = 1;
  SetTcpName(record, "host");
  SetVnetName(record, "prn20");
  SetTcpAddress(record, std::string(record->tcpAddress).c_str());  // unchanged, and forgotten all the same
  EXPECT_EQ("0 1", std::to_string(record->tcpLookupDone) + " " + std::to_string(record->vnetLookupDone));
  SetVnetAddress(record, "2.3");
  EXPECT_EQ(0u, record->vnetLookupDone);
}

TEST_F(PortConfigTest, ConversionsBetweenEntryAndRecord) {
  PortEntry entry = {nullptr, "alpha", kProtocolVnet, "prn20", "1.2", "host.example", "10.0.0.2",
                     1, 1, 4, 1, 5, 0, 6, 0, 0, 0, "", 0};
  ASSERT_TRUE(PortEntryToConfig(record, &entry));
  // An unset tray keeps the record's number.
  EXPECT_EQ("tcp=0 vnet=1 alpha t:host.example/10.0.0.2 v:prn20/1.2 banner=1 trays=1:4 1:5 0:1", Settings());
  // Empty texts leave the record's; an unknown protocol selects nothing new.
  entry = {nullptr, "", 7, "node1", "", "", "", 0, 0, 0, 0, 0, 1, 8, 0, 0, 0, "", 0};
  PortEntryToConfig(record, &entry);
  EXPECT_EQ("tcp=0 vnet=1 alpha t:host.example/10.0.0.2 v:node1/1.2 banner=0 trays=0:4 0:5 1:8", Settings());

  // Back into an existing entry: every text is copied, empty ones too; unset trays keep the
  // entry's numbers.
  SetTcpName(record, "");
  SetBanner(record, 1);
  entry = {nullptr, "old", kProtocolTcp, "", "", "stale", "10.0.0.3", 0, 0, 2, 1, 3, 0, 0, 0, 0, 0, "", 0};
  ASSERT_TRUE(PortConfigToEntry(record, &entry));
  EXPECT_EQ("1 alpha t:/10.0.0.2 v:node1/1.2 banner=1 trays=0:2 0:3 1:8", Settings(entry));
  record->tcpProtocol = record->vnetProtocol = 1;
  PortConfigToEntry(record, &entry);
  EXPECT_EQ(kProtocolTcp, entry.protocol) << "TCP/IP wins when both are set";
  record->tcpProtocol = record->vnetProtocol = 0;
  entry.protocol = kProtocolVnet;
  PortConfigToEntry(record, &entry);
  EXPECT_EQ(kProtocolVnet, entry.protocol) << "neither set: the entry keeps its protocol";
}

TEST_F(PortConfigTest, LogOptionsTravelBothWays) {
  LogOptions options = {3, 1, "C:\\pm.log", 1};
  ASSERT_TRUE(LogOptionsToConfig(record, &options));
  EXPECT_EQ("3 1 C:\\pm.log 1", std::to_string(record->loggingLevel) + " " + std::to_string(record->trace) + " " +
                                   record->traceFile + " " + std::to_string(record->bubble));
  record->loggingLevel = 2;
  record->bubble = 0;
  LogOptions back;
  memset(&back, 0x55, sizeof back);
  ASSERT_TRUE(ConfigToLogOptions(record, &back));
  EXPECT_EQ("2 1 C:\\pm.log 0", std::to_string(back.loggingLevel) + " " + std::to_string(back.trace) + " " +
                                   back.traceFile + " " + std::to_string(back.bubble));
}

}  // namespace
