#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "base/scoped.h"
#include "eventcapture.h"
#include "model/memory.h"
#include "model/store.h"
#include "portdlg/resolve.h"
#include "testregistry.h"
#include "testresolver.h"

namespace {

PortEntry NewPort(const char* name, DWORD protocol, const char* tcpName = "", const char* tcpAddress = "",
                  const char* vnetName = "", const char* vnetAddress = "") {
  PortEntry port = {};
  lstrcpynA(port.portName, name, sizeof port.portName);
  port.protocol = protocol;
  lstrcpynA(port.tcpName, tcpName, sizeof port.tcpName);
  lstrcpynA(port.tcpAddress, tcpAddress, sizeof port.tcpAddress);
  lstrcpynA(port.vnetName, vnetName, sizeof port.vnetName);
  lstrcpynA(port.vnetAddress, vnetAddress, sizeof port.vnetAddress);
  return port;
}

// Every field of a port in one line, so that a round trip compares them all at once.
std::string Describe(const PortEntry& port) {
  char text[256];
  snprintf(text, sizeof text, "%s %lu tcp=%s/%s vnet=%s/%s banner=%lu trays=%lu:%lu %lu:%lu %lu:%lu pm=%lu vl=%lu",
           port.portName, port.protocol, port.tcpName, port.tcpAddress, port.vnetName, port.vnetAddress, port.banner,
           port.setBannerTray, port.bannerTrayNumber, port.setOutputTray, port.outputTrayNumber, port.setInputTray,
           port.inputTrayNumber, port.pressmarkPrinter, port.vtllaserPrinter);
  return text;
}

class StoreWriteTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { LoadVnetLibrary(); }

  // The named port as StoreReadPorts gives it; "missing" when the list lacks it.
  std::string ReadBack(const char* portName) {
    std::string found = "missing";
    PortEntry* head = StoreReadPorts(monitor.path());
    while (head) {
      if (strcmp(head->portName, portName) == 0) found = Describe(*head);
      PortEntry* next = head->next;
      MemFree(&head);
      head = next;
    }
    return found;
  }

  TestMonitorKey monitor;
  EventCapture capture;
};

TEST_F(StoreWriteTest, PortsReadBackByNameWhenItResolvesElseByAddress) {
  TestResolver resolver;
  resolver.Add("printer7.example.com", "192.168.100.200");
  PortEntry named = NewPort("PRN7:", kProtocolTcp, "printer7.example.com", "192.168.100.200", "PRN20", "1.20");
  named.banner = named.setBannerTray = named.setOutputTray = named.setInputTray = named.vtllaserPrinter = 1;
  named.bannerTrayNumber = 3;
  named.outputTrayNumber = 4;
  named.inputTrayNumber = 5;
  PortEntry addressed = NewPort("VNET9:", kProtocolVnet, "gone.example.com", "10.1.2.3", "GONE", "2.9");
  addressed.outputTrayNumber = 6;  // without its flag: not stored
  ASSERT_TRUE(StoreWritePort(monitor.path(), &named));
  ASSERT_TRUE(StoreWritePort(monitor.path(), &addressed));
  EXPECT_EQ("PRN7: 2 tcp=printer7.example.com/ vnet=PRN20/ banner=1 trays=1:3 1:4 1:5 pm=0 vl=1", ReadBack("PRN7:"));
  EXPECT_EQ("VNET9: 1 tcp=/10.1.2.3 vnet=/2.9 banner=0 trays=0:0 0:0 0:0 pm=1 vl=0", ReadBack("VNET9:"));
  EXPECT_EQ("True", monitor.GetString("Ports\\PRN7:", "Banner"));
}

TEST_F(StoreWriteTest, NameAndAddressReplaceEachOtherOrStay) {
  TestResolver resolver;
  resolver.Add("printer7.example.com", "192.168.100.200");
  PortEntry port = NewPort("PRN7:", kProtocolTcp, "", "10.1.2.3", "", "2.9");
  ASSERT_TRUE(StoreWritePort(monitor.path(), &port));
  port = NewPort("PRN7:", kProtocolTcp, "printer7.example.com", "10.1.2.3", "prn21", "2.9");
  ASSERT_TRUE(StoreWritePort(monitor.path(), &port));
  EXPECT_EQ("PRN7: 2 tcp=printer7.example.com/ vnet=prn21/ banner=0 trays=0:0 0:0 0:0 pm=1 vl=0", ReadBack("PRN7:"));
  port = NewPort("PRN7:", kProtocolTcp, "gone.example.com", "", "GONE", "");  // neither resolves nor has an address
  ASSERT_TRUE(StoreWritePort(monitor.path(), &port));
  EXPECT_EQ("PRN7: 2 tcp=printer7.example.com/ vnet=prn21/ banner=0 trays=0:0 0:0 0:0 pm=1 vl=0", ReadBack("PRN7:"));
}

TEST_F(StoreWriteTest, NameResolvesWithoutTheCallerStartingSockets) {
  PortEntry port = NewPort("LOCAL:", kProtocolTcp, "localhost", "127.0.0.1");
  ASSERT_TRUE(StoreWritePort(monitor.path(), &port));
  EXPECT_EQ("localhost", monitor.GetString("Ports\\LOCAL:", "TCP/IP Name"));
  EXPECT_FALSE(monitor.HasValue("Ports\\LOCAL:", "TCP/IP Address"));
}

TEST_F(StoreWriteTest, ZeroFalseAndEmptyDeleteStoredValues) {
  const char* flags[] = {"Banner",         "Set Banner Tray", "Set Output Tray",
                         "Set Input Tray", "Pressmark",       "VTLlaser TCP/IP"};
  const char* numbers[] = {"Protocol", "Banner Tray Number", "Output Tray Number", "Input Tray Number"};
  for (const char* name : flags) monitor.SetString("Ports\\OLD:", name, "True");
  for (const char* name : numbers) monitor.SetDword("Ports\\OLD:", name, 2);
  PortEntry cleared = NewPort("OLD:", 0);
  ASSERT_TRUE(StoreWritePort(monitor.path(), &cleared));
  for (const char* name : flags) EXPECT_FALSE(monitor.HasValue("Ports\\OLD:", name)) << name;
  for (const char* name : numbers) EXPECT_FALSE(monitor.HasValue("Ports\\OLD:", name)) << name;
}

TEST_F(StoreWriteTest, TrayZeroUnderASetFlagIsStoredAndReadsBack) {
  PortEntry port = NewPort("TRAY0:", kProtocolTcp);
  port.setInputTray = 1;
  ASSERT_TRUE(StoreWritePort(monitor.path(), &port));
  EXPECT_EQ(static_cast<DWORD>(REG_DWORD), monitor.ValueType("Ports\\TRAY0:", "Input Tray Number"));
  EXPECT_EQ("TRAY0: 2 tcp=/ vnet=/ banner=0 trays=0:0 0:0 1:0 pm=1 vl=0", ReadBack("TRAY0:"));
}

TEST_F(StoreWriteTest, LogOptionsReadBackAndKeepTheStoredTraceFile) {
  LogOptions options = {2, 1, "C:\\trace\\pressmark.log", 1};
  ASSERT_TRUE(StoreWriteLogOptions(monitor.path(), &options));
  options = {0, 1, "", 0};  // level 0 deletes its value; an empty name keeps the stored one
  ASSERT_TRUE(StoreWriteLogOptions(monitor.path(), &options));
  EXPECT_FALSE(monitor.HasValue("Options", "Logging Level"));
  LogOptions read = {3, 0, "", 1};
  ASSERT_TRUE(StoreReadLogOptions(monitor.path(), &read));
  EXPECT_EQ(0u, read.loggingLevel);
  EXPECT_EQ(1u, read.trace);
  EXPECT_STREQ("C:\\trace\\pressmark.log", read.traceFile);
  EXPECT_EQ(0u, read.bubble);
}

TEST_F(StoreWriteTest, UpdateFlagIsRaisedForTheMonitor) {
  ASSERT_TRUE(StoreSetUpdate(monitor.path()));
  EXPECT_EQ("True", monitor.GetString("", "Update"));
  EXPECT_TRUE(StoreTakeUpdate(monitor.path()));
}

TEST_F(StoreWriteTest, DeletesOnlyTheNamedPort) {
  monitor.PlantPort("A:");
  monitor.CreateKey("Ports\\B:\\inner");
  EXPECT_TRUE(StoreDeletePort(monitor.path(), "A:"));
  EXPECT_FALSE(monitor.HasKey("Ports\\A:"));
  EXPECT_FALSE(StoreDeletePort(monitor.path(), "A:"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  // Names that would reach the "Ports" key itself or a key beneath a port are refused.
  EXPECT_FALSE(StoreDeletePort(monitor.path(), ""));
  EXPECT_FALSE(StoreDeletePort(monitor.path(), "B:\\inner"));
  EXPECT_TRUE(monitor.HasKey("Ports\\B:\\inner"));
  PortEntry unnamed = NewPort("", kProtocolTcp);
  EXPECT_FALSE(StoreWritePort(monitor.path(), &unnamed));
  EXPECT_FALSE(monitor.HasValue("Ports", "Protocol"));
}

TEST_F(StoreWriteTest, NothingIsWrittenWithoutTheMonitorKey) {
  TestMonitorKey missing(false);
  EXPECT_TRUE(StoreCanWrite(monitor.path()));
  EXPECT_FALSE(StoreCanWrite(missing.path()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  PortEntry port = NewPort("PRN7:", kProtocolTcp);
  LogOptions options = {1, 0, "", 0};
  EXPECT_FALSE(StoreWritePort(missing.path(), &port));
  EXPECT_FALSE(StoreWriteLogOptions(missing.path(), &options));
  EXPECT_FALSE(StoreSetUpdate(missing.path()));
  EXPECT_FALSE(missing.HasKey(""));
}

TEST_F(StoreWriteTest, WritersReportRefusedWritesButNotDeletions) {
  monitor.CreateKey("Values");
  ScopedKey readOnly;
  ASSERT_EQ(ERROR_SUCCESS,
            RegOpenKeyExA(HKEY_LOCAL_MACHINE, monitor.Below("Values").c_str(), 0, KEY_QUERY_VALUE, readOnly.out()));
  EXPECT_FALSE(RegWriteBool(readOnly.get(), "Flag", 1));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  EXPECT_FALSE(RegWriteDword(readOnly.get(), "Number", 5));
  EXPECT_TRUE(RegWriteDword(readOnly.get(), "Number", 0));
  EXPECT_TRUE(RegWriteString(readOnly.get(), "Text", ""));
}

}  // namespace
