#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/scoped.h"
#include "model/store.h"
#include "names/resolve.h"
#include "testregistry.h"
#include "testresolver.h"

namespace {

using Names = std::vector<std::string>;

class StoreWriteTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { LoadVnetLibrary(); }

  // Every field of the named port as the store reads it, in one line.
  std::string ReadBack(const char* portName) {
    ScopedKey ports;
    PortEntry p = {};
    if (!StoreOpenPortsKey(monitor.path(), ports.out()) || !StoreReadPort(&p, ports.get(), portName)) return "unread";
    char text[256];
    snprintf(text, sizeof text, "%lu tcp=%s/%s vnet=%s/%s banner=%lu trays=%lu:%lu %lu:%lu %lu:%lu pm=%lu vl=%lu",
             p.protocol, p.tcpName, p.tcpAddress, p.vnetName, p.vnetAddress, p.banner, p.setBannerTray,
             p.bannerTrayNumber, p.setOutputTray, p.outputTrayNumber, p.setInputTray, p.inputTrayNumber,
             p.pressmarkPrinter, p.vtllaserPrinter);
    return text;
  }

  Names ValueNames(const std::string& subkey) {
    Names names;
    ScopedKey key;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, monitor.Below(subkey).c_str(), 0, KEY_READ, key.out());
    char name[64];
    for (DWORD size = sizeof name; !RegEnumValueA(key.get(), static_cast<DWORD>(names.size()), name, &size, nullptr,
                                                  nullptr, nullptr, nullptr);
         size = sizeof name) {
      names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  TestMonitorKey monitor;
};

TEST_F(StoreWriteTest, PortIsStoredByNameWhenItResolvesElseByAddressAndZeroDeletes) {
  TestResolver resolver;
  resolver.Add("printer7.example.com", "192.168.100.200");
  // An output tray number without its flag is not stored.
  PortEntry port = {nullptr, "PRN7:", kProtocolVnet, "GONE", "2.9", "gone.example.com", "10.1.2.3",
                    0, 0, 0, 0, 6, 0, 0, 0, 0};
  ASSERT_TRUE(StoreWritePort(monitor.path(), &port));
  EXPECT_EQ("1 tcp=/10.1.2.3 vnet=/2.9 banner=0 trays=0:0 0:0 0:0 pm=1 vl=0", ReadBack("PRN7:"));

  // A set tray flag stores its number even when it is 0, or the port would not read back.
  port = {nullptr, "PRN7:", kProtocolTcp, "PRN20", "1.20", "printer7.example.com", "192.168.100.200",
          1, 1, 3, 1, 4, 1, 0, 0, 1};
  ASSERT_TRUE(StoreWritePort(monitor.path(), &port));
  EXPECT_EQ("2 tcp=printer7.example.com/ vnet=PRN20/ banner=1 trays=1:3 1:4 1:0 pm=0 vl=1", ReadBack("PRN7:"));
  EXPECT_EQ("True", monitor.GetString("Ports\\PRN7:", "Banner"));

  // Neither name resolves and there is no address: the stored names stay. 0 and false delete.
  monitor.SetString("Ports\\PRN7:", "Pressmark", "True");
  port = {nullptr, "PRN7:", kProtocolVnet, "GONE", "", "gone.example.com", "", 0, 0, 0, 0, 0, 0, 0, 0, 0};
  ASSERT_TRUE(StoreWritePort(monitor.path(), &port));
  EXPECT_EQ((Names{"Protocol", "TCP/IP Name", "VTLnet Name"}), ValueNames("Ports\\PRN7:"));
}

TEST_F(StoreWriteTest, NameResolvesWithoutTheCallerStartingSockets) {
  PortEntry port = {nullptr, "LOCAL:", kProtocolTcp, "", "", "localhost", "127.0.0.1", 0, 0, 0, 0, 0, 0, 0, 0, 0};
  ASSERT_TRUE(StoreWritePort(monitor.path(), &port));
  EXPECT_EQ((Names{"Protocol", "TCP/IP Name"}), ValueNames("Ports\\LOCAL:"));
}

TEST_F(StoreWriteTest, LogOptionsReadBackAndKeepTheStoredTraceFile) {
  LogOptions options = {2, 1, "C:\\trace\\pressmark.log", 1};
  ASSERT_TRUE(StoreWriteLogOptions(monitor.path(), &options));
  options = {0, 1, "", 0};  // an empty name keeps the stored one
  ASSERT_TRUE(StoreWriteLogOptions(monitor.path(), &options));
  EXPECT_EQ((Names{"Trace", "Trace File"}), ValueNames("Options"));
  LogOptions read = {3, 0, "", 1};
  ASSERT_TRUE(StoreReadLogOptions(monitor.path(), &read));
  EXPECT_EQ("0 1 C:\\trace\\pressmark.log 0",
            std::to_string(read.loggingLevel) + " " + std::to_string(read.trace) + " " + read.traceFile + " " +
                std::to_string(read.bubble));
}

TEST_F(StoreWriteTest, DeletesOnlyTheNamedPortAndRefusesNamesThatReachOtherKeys) {
  monitor.PlantPort("A:");
  monitor.CreateKey("Ports\\B:\\inner");
  EXPECT_TRUE(StoreDeletePort(monitor.path(), "A:"));
  EXPECT_FALSE(monitor.HasKey("Ports\\A:"));
  EXPECT_FALSE(StoreDeletePort(monitor.path(), "A:"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  EXPECT_FALSE(StoreDeletePort(monitor.path(), ""));
  EXPECT_FALSE(StoreDeletePort(monitor.path(), "B:\\inner"));
  EXPECT_TRUE(monitor.HasKey("Ports\\B:\\inner"));
}

TEST_F(StoreWriteTest, NothingIsWrittenWithoutTheMonitorKeyAndRefusedWritesFail) {
  PortEntry port = {nullptr, "", kProtocolTcp, "", "", "", "", 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_FALSE(StoreWritePort(monitor.path(), &port));  // an empty name would name "Ports" itself
  EXPECT_EQ(Names{}, ValueNames("Ports"));
  TestMonitorKey missing(false);
  EXPECT_FALSE(StoreCanWrite(missing.path()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  LogOptions options = {1, 0, "", 0};
  strcpy(port.portName, "PRN7:");
  EXPECT_FALSE(StoreWritePort(missing.path(), &port));
  EXPECT_FALSE(StoreWriteLogOptions(missing.path(), &options));
  EXPECT_FALSE(StoreSetUpdate(missing.path()));
  EXPECT_FALSE(missing.HasKey(""));

  monitor.CreateKey("Values");
  ScopedKey readOnly;
  ASSERT_EQ(ERROR_SUCCESS,
            RegOpenKeyExA(HKEY_LOCAL_MACHINE, monitor.Below("Values").c_str(), 0, KEY_QUERY_VALUE, readOnly.out()));
  EXPECT_FALSE(RegWriteBool(readOnly.get(), "Flag", 1));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  EXPECT_FALSE(RegWriteDword(readOnly.get(), "Number", 5));
  EXPECT_TRUE(RegWriteDword(readOnly.get(), "Number", 0));  // deleting nothing is no failure
}

}  // namespace
