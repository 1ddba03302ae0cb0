// The registry store: typed readers and writers, ports and logging options, the "Update" flag and
// what a user who may only read the monitor key still sees.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/memory.h"
#include "base/scoped.h"
#include "diag/eventlog.h"
#include "eventcapture.h"
#include "model/store.h"
#include "names/resolve.h"
#include "testregistry.h"
#include "testresolver.h"

namespace {

using Names = std::vector<std::string>;

class StoreTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { LoadVnetLibrary(); }

  Names ReadPortNames(const char* keyPath) {
    Names names;
    for (PortEntry* head = StoreReadPorts(keyPath); head;) {
      names.push_back(head->portName);
      PortEntry* next = head->next;
      MemFree(&head);
      head = next;
    }
    return names;
  }

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

  std::string Options(const LogOptions& o) {
    return std::to_string(o.loggingLevel) + " " + std::to_string(o.trace) + " " + o.traceFile + " " +
           std::to_string(o.bubble);
  }

  TestMonitorKey monitor;
  EventCapture capture;
};

TEST_F(StoreTest, ReadersTakeTheirTypesAndReportOthers) {
  const BYTE bytes[] = {1, 2, 3, 4};
  monitor.SetDword("Values", "Seven", 7);
  monitor.SetDword("Values", "Zero", 0);
  monitor.SetString("Values", "Digits", "12abc");
  monitor.SetString("Values", "Letters", "abc");
  monitor.SetString("Values", "Long", std::string(40, '1').c_str());
  monitor.SetString("Values", "Six", "prn201");
  monitor.SetValue("Values", "Binary", REG_BINARY, bytes, sizeof bytes);
  monitor.SetValue("Values", "Unterminated", REG_SZ, "abc", 3);
  monitor.SetValue("Values", "Full", REG_SZ, "prn2012", 7);
  for (const char* word : {"1", "t", "TRUE", "On", "y", "yEs", "0", "F", "false", "OFF", "n", "No", "maybe"}) {
    monitor.SetString("Values", word, word);
  }
  ScopedKey key;
  ASSERT_EQ(ERROR_SUCCESS,
            RegOpenKeyExA(HKEY_LOCAL_MACHINE, monitor.Below("Values").c_str(), 0, KEY_READ, key.out()));

  // kind: 'd' RegReadDword, 'b' RegReadBool, 's' RegReadString into 7 bytes. Outcome: the value
  // read, then the last error of a failed read, then the events reported.
  const struct {
    char kind;
    const char* name;
    const char* outcome;
  } cases[] = {
      {'d', "Seven", "7"},          {'d', "Digits", "12"},  {'d', "Letters", "0"},
      {'d', "Absent", "0 failed 2"}, {'d', "Long", "0 failed 234"},
      {'d', "Binary", "0 failed 13 bad-type DWORD Binary"},
      {'b', "Seven", "1"},          {'b', "Zero", "0"},     {'b', "maybe", "0 failed 13 bad-bool BOOL maybe"},
      {'b', "Binary", "0 failed 13 bad-type BOOL Binary"},
      {'b', "1", "1"}, {'b', "t", "1"}, {'b', "TRUE", "1"}, {'b', "On", "1"}, {'b', "y", "1"}, {'b', "yEs", "1"},
      {'b', "0", "0"}, {'b', "F", "0"}, {'b', "false", "0"}, {'b', "OFF", "0"}, {'b', "n", "0"}, {'b', "No", "0"},
      {'s', "Six", "prn201"},       {'s', "Unterminated", "abc"}, {'s', "Full", " failed 234"},
      {'s', "Long", " failed 234"}, {'s', "Absent", " failed 2"},  {'s', "Seven", " failed 13 bad-type SZ Seven"},
  };
  for (const auto& c : cases) {
    capture.Clear();
    DWORD number = 99;
    char text[7] = "######";
    BOOL read = c.kind == 'd'   ? RegReadDword(key.get(), c.name, &number)
                : c.kind == 'b' ? RegReadBool(key.get(), c.name, &number)
                                : RegReadString(key.get(), c.name, text, sizeof text);
    std::string outcome = c.kind == 's' ? text : std::to_string(number);
    if (!read) outcome += " failed " + std::to_string(GetLastError());
    for (const CapturedEvent& event : capture.events()) {
      outcome += event.identifier == EVT_BAD_BOOL_VALUE   ? " bad-bool"
                 : event.identifier == EVT_BAD_VALUE_TYPE ? " bad-type"
                                                          : " other";
      for (const std::string& string : event.strings) outcome += " " + string;
    }
    EXPECT_EQ(c.outcome, outcome) << c.kind << " " << c.name;
  }
}

TEST_F(StoreTest, ListsUsablePortsInReverseEnumerationOrderAndLeavesOutTheRest) {
  monitor.PlantPort("delta");
  monitor.SetString("Ports\\delta", "Set Output Tray", "True");
  monitor.SetDword("Ports\\delta", "Output Tray Number", 3);
  monitor.PlantPort("alpha");
  monitor.CreateKey("Ports\\beta");  // no "Protocol"
  monitor.PlantPort("gamma");
  monitor.SetString("Ports\\gamma", "Set Input Tray", "True");  // without its number
  monitor.PlantPort("zeta");
  monitor.SetValue("Ports\\zeta", "Protocol", REG_BINARY, "\2", 1);
  monitor.PlantPort(std::string(50, 'a').c_str());  // enumerated first, and too long for a port name
  EXPECT_EQ((std::vector<std::string>{"delta", "alpha"}), ReadPortNames(monitor.path()));
}

TEST_F(StoreTest, ReadersNeedOnlyReadAccessAndCreateNothing) {
  TestMonitorKey absent(false);
  LogOptions options = {1, 0, "preset", 0};
  EXPECT_EQ(nullptr, StoreReadPorts(absent.path()));
  EXPECT_FALSE(StoreReadLogOptions(absent.path(), &options));
  EXPECT_EQ("1 0 preset 0", Options(options));
  EXPECT_FALSE(absent.HasKey(""));
  EXPECT_EQ(Names{}, ReadPortNames(monitor.path()));
  EXPECT_FALSE(monitor.HasKey("Ports"));
  // Without a path the registry would open HKEY_LOCAL_MACHINE itself.
  EXPECT_EQ(nullptr, StoreReadPorts(""));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());

  // A user who may only read sees every port and the options; "Update" is taken but stays.
  monitor.PlantPort("viewed");
  monitor.SetDword("Options", "Logging Level", 2);
  monitor.SetString("", "Update", "True");
  TestWritesDenied denied(monitor.path());
  EXPECT_EQ(Names{"viewed"}, ReadPortNames(monitor.path()));
  ASSERT_TRUE(StoreReadLogOptions(monitor.path(), &options));
  EXPECT_EQ(2u, options.loggingLevel);
  EXPECT_TRUE(StoreTakeUpdate(monitor.path()));
  EXPECT_TRUE(monitor.HasValue("", "Update"));
  EXPECT_FALSE(StoreCanWrite(monitor.path()));
  EXPECT_FALSE(StoreSetUpdate(monitor.path()));
}

TEST_F(StoreTest, UpdateFlagIsTakenOnce) {
  EXPECT_FALSE(StoreTakeUpdate(monitor.path()));
  ASSERT_TRUE(StoreSetUpdate(monitor.path()));
  EXPECT_TRUE(StoreTakeUpdate(monitor.path()));
  EXPECT_FALSE(monitor.HasValue("", "Update"));
  EXPECT_FALSE(StoreTakeUpdate(monitor.path()));

  monitor.SetString("", "Update", "Off");
  EXPECT_FALSE(StoreTakeUpdate(monitor.path()));
  EXPECT_FALSE(monitor.HasValue("", "Update"));
  monitor.SetString("", "Update", "perhaps");  // unreadable: left for a reader that knows better
  EXPECT_FALSE(StoreTakeUpdate(monitor.path()));
  EXPECT_TRUE(monitor.HasValue("", "Update"));
}

TEST_F(StoreTest, LogOptionsKeepTheStoredTraceFileAndNeedOneToTrace) {
  monitor.SetString("Options", "Trace", "True");
  LogOptions options = {1, 0, "preset", 1};
  ASSERT_TRUE(StoreReadLogOptions(monitor.path(), &options));
  EXPECT_EQ("0 0  0", Options(options));  // no trace file: tracing off

  options = {2, 1, "C:\\trace\\pressmark.log", 1};
  ASSERT_TRUE(StoreWriteLogOptions(monitor.path(), &options));
  options = {0, 1, "", 0};  // an empty name keeps the stored one
  ASSERT_TRUE(StoreWriteLogOptions(monitor.path(), &options));
  EXPECT_EQ((Names{"Trace", "Trace File"}), ValueNames("Options"));
  ASSERT_TRUE(StoreReadLogOptions(monitor.path(), &options));
  EXPECT_EQ("0 1 C:\\trace\\pressmark.log 0", Options(options));
}

TEST_F(StoreTest, NameResolvesWithoutTheCallerStartingSockets) {
  PortEntry port = {nullptr, "LOCAL:", kProtocolTcp, "", "", "localhost", "127.0.0.1",
                    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "", 0};
  ASSERT_TRUE(StoreWritePort(monitor.path(), &port));
  EXPECT_EQ((Names{"Protocol", "TCP/IP Name"}), ValueNames("Ports\\LOCAL:"));
}

TEST_F(StoreTest, PortIsStoredByNameWhenItResolvesElseByAddressAndZeroDeletes) {
  TestResolver resolver;
  resolver.Add("printer7.example.com", "192.168.100.200");
  // An output tray number without its flag is not stored.
  PortEntry port = {nullptr, "PRN7:", kProtocolVnet, "GONE", "2.9", "gone.example.com", "10.1.2.3",
                    0, 0, 0, 0, 6, 0, 0, 0, 0, 0, "", 0};
  ASSERT_TRUE(StoreWritePort(monitor.path(), &port));
  EXPECT_EQ("1 tcp=/10.1.2.3 vnet=/2.9 banner=0 trays=0:0 0:0 0:0 pm=1 vl=0", ReadBack("PRN7:"));

  // A set tray flag stores its number even when it is 0, or the port would not read back.
  port = {nullptr, "PRN7:", kProtocolTcp, "PRN20", "1.20", "printer7.example.com", "192.168.100.200",
          1, 1, 3, 1, 4, 1, 0, 0, 1, 515, "lp", 5};
  ASSERT_TRUE(StoreWritePort(monitor.path(), &port));
  EXPECT_EQ("2 tcp=printer7.example.com/ vnet=PRN20/ banner=1 trays=1:3 1:4 1:0 pm=0 vl=1", ReadBack("PRN7:"));
  // The values the dialogs do not show travel with the port (a rename writes them anew).
  PortEntry read = {};
  ScopedKey ports;
  ASSERT_TRUE(StoreOpenPortsKey(monitor.path(), ports.out()) && StoreReadPort(&read, ports.get(), "PRN7:"));
  EXPECT_EQ("515 lp 5",
            std::to_string(read.tcpPortNumber) + " " + read.lprQueue + " " + std::to_string(read.sendTimeout));
  EXPECT_EQ("True", monitor.GetString("Ports\\PRN7:", "Banner"));

  // Neither name resolves and there is no address: the stored names stay. 0 and false delete.
  monitor.SetString("Ports\\PRN7:", "Pressmark", "True");
  port = {nullptr, "PRN7:", kProtocolVnet, "GONE", "", "gone.example.com", "", 0, 0, 0, 0, 0, 0, 0, 0, 0,
          0, "", 0};
  ASSERT_TRUE(StoreWritePort(monitor.path(), &port));
  EXPECT_EQ((Names{"Protocol", "TCP/IP Name", "VTLnet Name"}), ValueNames("Ports\\PRN7:"));
}

TEST_F(StoreTest, DeletesOnlyTheNamedPortAndRefusesNamesThatReachOtherKeys) {
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

TEST_F(StoreTest, NothingIsWrittenWithoutTheMonitorKeyAndRefusedWritesFail) {
  PortEntry port = {nullptr, "", kProtocolTcp, "", "", "", "", 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "", 0};
  EXPECT_FALSE(StoreWritePort(monitor.path(), &port));  // an empty name would name "Ports" itself
  PortEntry noProtocol = {nullptr, "PRN0:", 0, "", "", "", "1.2.3.4", 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "", 0};
  EXPECT_FALSE(StoreWritePort(monitor.path(), &noProtocol));  // stored, it would vanish at the next reload
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_EQ(Names{}, ValueNames("Ports"));
  EXPECT_FALSE(monitor.HasKey("Ports\\PRN0:"));
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
