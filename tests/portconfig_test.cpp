#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "model/portconfig.h"

// A record is written with the fields a test sets; the others are zero, as a new record holds them.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

// A port's settings in one line, with its protocol as stored (1 VTLnet, 2 TCP/IP).
template <class Settings>
std::string Line(const Settings& s, DWORD protocol) {
  char text[256];
  snprintf(text, sizeof text, "%lu %s t:%s/%s v:%s/%s banner=%lu trays=%lu:%lu %lu:%lu %lu:%lu", protocol,
           s.portName, s.tcpName, s.tcpAddress, s.vnetName, s.vnetAddress, s.banner, s.setBannerTray,
           s.bannerTrayNumber, s.setOutputTray, s.outputTrayNumber, s.setInputTray, s.inputTrayNumber);
  return text;
}

class PortConfigTest : public ::testing::Test {
protected:
  void TearDown() override { EXPECT_EQ(nullptr, DestroyPortConfig(record)); }
  // The lengths of the record's texts, in the order of its fields.
  std::string TextLengths() {
    std::string lengths;
    for (const char* text : {record->portName, record->tcpName, record->tcpAddress, record->vnetName,
                             record->vnetAddress, record->traceFile})
      lengths += std::to_string(strlen(text)) + " ";
    return lengths;
  }

  HINSTANCE instance = GetModuleHandleA(nullptr);
  HWND owner = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1234));
  PortConfig* record = CreatePortConfig(instance, owner);
};

TEST_F(PortConfigTest, TextsAreCutToTheirFieldsAndOnlyExactAttributeNamesAreKnown) {
  const PortConfig expected = {.psDataType = 1, .bannerTrayNumber = 1, .inputTrayNumber = 1, .outputTrayNumber = 1,
                                .instance = instance, .ownerWindow = owner};
  EXPECT_EQ(0, memcmp(&expected, record, sizeof expected)) << "a new record holds its defaults and nothing else";

  // Typed setters, then setters by name from the last field back: a text past its field shows in the next.
  const std::string longText(300, 'x');
  for (auto set : {SetPortName, SetTcpName, SetTcpAddress, SetVnetName, SetVnetAddress}) set(record, longText.c_str());
  EXPECT_EQ("49 49 15 6 7 0 ", TextLengths());
  for (const char* name : {"Trace File", "VTLnet Address", "VTLnet Name", "TCP/IP Address", "TCP/IP Name", "Port Name"})
    ASSERT_TRUE(SetPortAttribute(record, name, longText.c_str())) << name;
  EXPECT_EQ("49 49 15 6 7 249 ", TextLengths());

  const PortConfig before = *record;
  for (const char* name : {"banner", "Port name", "", "Banner "}) {
    char copy[8] = "same";
    EXPECT_FALSE(SetPortAttribute(record, name, "x") || GetPortAttribute(record, name, nullptr, 8, copy, nullptr));
    EXPECT_STREQ("same", copy) << name;
  }
  EXPECT_EQ(0, memcmp(&before, record, sizeof before));
}

TEST_F(PortConfigTest, ConversionsBetweenEntryAndRecord) {
  PortEntry entry = {nullptr, "alpha", kProtocolVnet, "prn20", "", "host.example", "10.0.0.2",
                     1, 1, 4, 1, 5, 0, 6, 0, 0, 0, "", 0};
  SetVnetAddress(record, "1.2");
  record->tcpLookupDone = 1;
  ASSERT_TRUE(PortEntryToConfig(record, &entry));
  // An empty text and an unset tray keep the record's; setting an address forgets its lookup.
  EXPECT_EQ("1 alpha t:host.example/10.0.0.2 v:prn20/1.2 banner=1 trays=1:4 1:5 0:1",
            Line(*record, record->tcpProtocol * kProtocolTcp + record->vnetProtocol));
  EXPECT_EQ(0u, record->tcpLookupDone);

  // Back into an entry: every text is copied, empty ones too; unset trays keep its numbers; TCP/IP wins.
  SetTcpName(record, "");
  SetBanner(record, 0);
  record->tcpProtocol = 1;
  record->setBannerTray = 0;
  entry = {nullptr, "old", kProtocolVnet, "node", "2.3", "stale", "10.0.0.3", 1, 1, 2, 0, 3, 0, 7, 0, 0, 0, "", 0};
  ASSERT_TRUE(PortConfigToEntry(record, &entry));
  EXPECT_EQ("2 alpha t:/10.0.0.2 v:prn20/1.2 banner=0 trays=0:2 1:5 0:7", Line(entry, entry.protocol));

  LogOptions options = {3, 1, "C:\\pm.log", 1}, back = {};
  ASSERT_TRUE(LogOptionsToConfig(record, &options) && ConfigToLogOptions(record, &back));
  EXPECT_TRUE(back.loggingLevel == 3 && back.trace == 1 && back.bubble == 1 && !strcmp("C:\\pm.log", back.traceFile));
}

}  // namespace
