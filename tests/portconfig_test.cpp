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

  DWORD Number(const char* name) {
    DWORD value = 0xDEADBEEF;
    EXPECT_TRUE(GetPortAttribute(record, name, nullptr, sizeof value, &value, nullptr)) << name;
    return value;
  }
  void SetNumber(const char* name, DWORD value) { EXPECT_TRUE(SetPortAttribute(record, name, &value)) << name; }

  HINSTANCE instance = GetModuleHandleA(nullptr);
  HWND owner = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1234));
  PortConfig* record = CreatePortConfig(instance, owner);
  PortEntry entry = {};
};

TEST_F(PortConfigTest, NewRecordHoldsItsDefaultsAndNothingElse) {
  PortConfig expected = {};
  expected.psDataType = 1;
  expected.bannerTrayNumber = expected.inputTrayNumber = expected.outputTrayNumber = 1;
  expected.instance = instance;
  expected.ownerWindow = owner;
  EXPECT_EQ(0, memcmp(&expected, record, sizeof expected));
  EXPECT_TRUE(AllowAllProtocols(record));
  EXPECT_EQ(1u, IsTcpAllowed(record));
  EXPECT_EQ(1u, IsVnetAllowed(record));
}

TEST_F(PortConfigTest, EveryAttributeReachesItsOwnField) {
  struct Slot {
    const char* name;
    const void* field;
    DWORD width;  // 4: a flag or number
  };
  const PortConfig& r = *record;
  const Slot slots[] = {
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
  for (const Slot& slot : slots) {
    BYTE* field = nullptr;
    DWORD width = 0;
    BOOL isText = 2;
    ASSERT_TRUE(FindPortAttribute(record, slot.name, &field, &width, &isText)) << slot.name;
    EXPECT_EQ(slot.field, field) << slot.name;
    EXPECT_EQ(slot.width, width) << slot.name;
    EXPECT_EQ(slot.width != 4, isText != FALSE) << slot.name;

    // A value written by name lands in the field and reads back by name.
    ++number;
    DWORD length = 0;
    if (isText) {
      std::string text = std::string(slot.name).substr(0, 3) + std::to_string(number).substr(1);
      ASSERT_TRUE(SetPortAttribute(record, slot.name, text.c_str()));
      EXPECT_STREQ(text.c_str(), static_cast<const char*>(slot.field)) << slot.name;
      char copy[256] = {};
      ASSERT_TRUE(GetPortAttribute(record, slot.name, nullptr, width, copy, &length));
      EXPECT_STREQ(text.c_str(), copy);
      EXPECT_EQ(text.size(), length) << "the text's length, not the field's width";
    } else {
      SetNumber(slot.name, number);
      EXPECT_EQ(number, *static_cast<const DWORD*>(slot.field)) << slot.name;
      EXPECT_EQ(number, Number(slot.name));
    }
  }
}

TEST_F(PortConfigTest, AttributeNamesAreCaseSensitive) {
  SetPortName(record, "alpha");
  PortConfig before = *record;
  const char value[8] = "x";  // reads as a nonzero number too
  BYTE* field = nullptr;
  DWORD width = 0;
  BOOL isText = FALSE;
  for (const char* name : {"banner", "Port name", "TCP/IP address", "Trace file", "", "Banner "}) {
    EXPECT_FALSE(FindPortAttribute(record, name, &field, &width, &isText)) << name;
    EXPECT_FALSE(SetPortAttribute(record, name, value)) << name;
    char copy[64] = "unchanged";
    DWORD length = 77;
    EXPECT_FALSE(GetPortAttribute(record, name, nullptr, sizeof copy, copy, &length)) << name;
    EXPECT_STREQ("unchanged", copy);
    EXPECT_EQ(77u, length);
  }
  EXPECT_EQ(0, memcmp(&before, record, sizeof before));
}

TEST_F(PortConfigTest, EveryTextSetterCutsToWidthLessOne) {
  const std::string longText = std::string(30, 'x') + std::string(270, 'y');
  struct Case {
    BOOL (*set)(PortConfig*, const char*);
    const char* name;
    const char* field;
    size_t width;
  };
  const Case cases[] = {
      {SetPortName, "Port Name", record->portName, 50},        {SetTcpName, "TCP/IP Name", record->tcpName, 50},
      {SetTcpAddress, "TCP/IP Address", record->tcpAddress, 16}, {SetVnetName, "VTLnet Name", record->vnetName, 7},
      {SetVnetAddress, "VTLnet Address", record->vnetAddress, 8}, {nullptr, "Trace File", record->traceFile, 250},
  };
  for (const Case& c : cases) {
    if (c.set) {
      EXPECT_TRUE(c.set(record, longText.c_str()));
      EXPECT_EQ(longText.substr(0, c.width - 1), c.field) << c.name;
      EXPECT_TRUE(c.set(record, "ab"));
      EXPECT_STREQ("ab", c.field) << c.name;
    }
    EXPECT_TRUE(SetPortAttribute(record, c.name, longText.c_str()));
    EXPECT_EQ(longText.substr(0, c.width - 1), c.field) << c.name;
  }
  // A cut text stays inside its field: the next field is untouched.
  SetVnetAddress(record, "1.2");
  SetVnetName(record, longText.c_str());
  EXPECT_STREQ("1.2", record->vnetAddress);
}

TEST_F(PortConfigTest, ReadsHonourTheSize) {
  SetNumber("Logging Level", 0x11223344);
  DWORD value = 0xAAAAAAAA;
  DWORD length = 0;
  ASSERT_TRUE(GetPortAttribute(record, "Logging Level", nullptr, 2, &value, &length));
  EXPECT_EQ(0xAAAA3344u, value) << "only the first two bytes are copied";
  EXPECT_EQ(4u, length);

  SetPortAttribute(record, "Trace File", "C:\\trace.log");
  char copy[8];
  memset(copy, '#', sizeof copy);
  ASSERT_TRUE(GetPortAttribute(record, "Trace File", nullptr, 5, copy, &length));
  EXPECT_EQ(12u, length);
  EXPECT_EQ(0, memcmp(copy, "C:\\tr###", 8)) << "five bytes copied, nothing terminated or padded";

  SetTcpName(record, "printer.example");
  memset(copy, '#', sizeof copy);
  EXPECT_EQ(15, GetTcpName(record, copy, 4)) << "the field's length, not what was copied";
  EXPECT_EQ(0, memcmp(copy, "prin####", 8));
}

TEST_F(PortConfigTest, ProtocolSelectionAndLookupFlags) {
  record->tcpProtocol = record->vnetProtocol = 1;
  SelectVnet(record);
  EXPECT_EQ(0u, IsTcpSelected(record));
  EXPECT_EQ(1u, IsVnetSelected(record));
  SelectTcp(record);
  EXPECT_EQ(1u, IsTcpSelected(record));
  EXPECT_EQ(0u, IsVnetSelected(record));

  SetTcpAddress(record, "10.0.0.1");
  record->tcpLookupDone = record->vnetLookupDone = 1;
  SetTcpName(record, "host");
  SetVnetName(record, "prn20");
  EXPECT_EQ(1u, record->tcpLookupDone) << "names leave the lookup flags to the dialog";
  SetTcpAddress(record, "10.0.0.1");
  EXPECT_EQ(0u, record->tcpLookupDone) << "even an unchanged address forgets the lookup";
  EXPECT_EQ(1u, record->vnetLookupDone);
  SetVnetAddress(record, "1.2");
  EXPECT_EQ(0u, record->vnetLookupDone);
}

TEST(CopyBoundedTest, StopsAtTheLimitAndNeverPads) {
  char destination[8];
  memset(destination, '#', sizeof destination);
  EXPECT_EQ(nullptr, CopyBounded(destination, "abc", 0));
  EXPECT_EQ('#', destination[0]);
  EXPECT_EQ(destination, CopyBounded(destination, "abc", 4)) << "n - 1 characters fit with their NUL";
  EXPECT_EQ(0, memcmp(destination, "abc\0####", 8));
  memset(destination, '#', sizeof destination);
  EXPECT_EQ(nullptr, CopyBounded(destination, "abcd", 4));
  EXPECT_EQ(0, memcmp(destination, "abcd####", 8)) << "n characters: no terminator";
}

TEST_F(PortConfigTest, EntryFillsTheRecord) {
  entry = {nullptr, "alpha", kProtocolVnet, "prn20", "1.2", "host.example", "10.0.0.2", 1, 1, 4, 1, 5, 0, 6, 0, 0};
  ASSERT_TRUE(PortEntryToConfig(record, &entry));
  EXPECT_EQ(1u, IsVnetSelected(record));
  EXPECT_EQ(0u, IsTcpSelected(record));
  EXPECT_EQ(1u, GetBanner(record));
  EXPECT_STREQ("alpha", record->portName);
  EXPECT_STREQ("prn20", record->vnetName);
  EXPECT_STREQ("1.2", record->vnetAddress);
  EXPECT_STREQ("host.example", record->tcpName);
  EXPECT_STREQ("10.0.0.2", record->tcpAddress);
  EXPECT_EQ(1u, Number("Set Banner Tray"));
  EXPECT_EQ(4u, Number("Banner Tray Number"));
  EXPECT_EQ(1u, Number("Set Output Tray"));
  EXPECT_EQ(5u, Number("Output Tray Number"));
  EXPECT_EQ(0u, Number("Set Input Tray"));
  EXPECT_EQ(1u, Number("Input Tray Number")) << "an unset tray keeps the record's number";

  // Empty texts leave the record's; another protocol value selects nothing new.
  entry = {nullptr, "", 7, "node1", "", "", "", 0, 0, 0, 0, 0, 0, 0, 0, 0};
  ASSERT_TRUE(PortEntryToConfig(record, &entry));
  EXPECT_STREQ("alpha", record->portName);
  EXPECT_STREQ("10.0.0.2", record->tcpAddress);
  EXPECT_STREQ("node1", record->vnetName);
  EXPECT_EQ(1u, IsVnetSelected(record));
  entry.protocol = kProtocolTcp;
  PortEntryToConfig(record, &entry);
  EXPECT_EQ(1u, IsTcpSelected(record));
  EXPECT_EQ(0u, IsVnetSelected(record));
}

TEST_F(PortConfigTest, RecordFillsTheEntry) {
  SelectVnet(record);
  SetBanner(record, 1);
  SetPortName(record, "beta");
  SetVnetName(record, "prn21");
  SetVnetAddress(record, "3.4");
  SetNumber("Set Input Tray", 1);
  SetNumber("Input Tray Number", 8);
  SetNumber("Output Tray Number", 9);
  // An existing entry: its stale TCP/IP texts give way to the record's empty ones.
  entry = {nullptr, "old", kProtocolTcp, "", "", "stale", "10.0.0.3", 0, 0, 2, 1, 3, 0, 0, 0, 0};
  ASSERT_TRUE(PortConfigToEntry(record, &entry));
  EXPECT_EQ(kProtocolVnet, entry.protocol);
  EXPECT_EQ(1u, entry.banner);
  EXPECT_STREQ("beta", entry.portName);
  EXPECT_STREQ("prn21", entry.vnetName);
  EXPECT_STREQ("3.4", entry.vnetAddress);
  EXPECT_STREQ("", entry.tcpName);
  EXPECT_STREQ("", entry.tcpAddress);
  EXPECT_EQ(1u, entry.setInputTray);
  EXPECT_EQ(8u, entry.inputTrayNumber);
  EXPECT_EQ(0u, entry.setOutputTray);
  EXPECT_EQ(3u, entry.outputTrayNumber) << "an unset tray keeps the entry's number";
  EXPECT_EQ(2u, entry.bannerTrayNumber);

  record->tcpProtocol = record->vnetProtocol = 1;
  PortConfigToEntry(record, &entry);
  EXPECT_EQ(kProtocolTcp, entry.protocol) << "TCP/IP wins when both are set";
  record->tcpProtocol = record->vnetProtocol = 0;
  entry.protocol = kProtocolVnet;
  PortConfigToEntry(record, &entry);
  EXPECT_EQ(kProtocolVnet, entry.protocol) << "neither set: the entry keeps its protocol";
}

TEST_F(PortConfigTest, LogOptionsTravelBothWays) {
  LogOptions options = {3, 1, "", 1};
  memset(options.traceFile, 'f', sizeof options.traceFile - 1);
  ASSERT_TRUE(LogOptionsToConfig(record, &options));
  EXPECT_EQ(3u, record->loggingLevel);
  EXPECT_EQ(1u, record->trace);
  EXPECT_EQ(1u, record->bubble);
  EXPECT_EQ(std::string(249, 'f'), record->traceFile);

  SetNumber("Logging Level", 2);
  SetNumber("Bubble", 0);
  SetPortAttribute(record, "Trace File", "C:\\pm.log");
  LogOptions back;
  memset(&back, 0x55, sizeof back);
  ASSERT_TRUE(ConfigToLogOptions(record, &back));
  EXPECT_EQ(2u, back.loggingLevel);
  EXPECT_EQ(1u, back.trace);
  EXPECT_EQ(0u, back.bubble);
  EXPECT_STREQ("C:\\pm.log", back.traceFile);
}

}  // namespace
