// The registry store: typed readers and writers, ports and logging options, the "Update" flag and
// what a user who may only read the monitor key still sees.
#include <gtest/gtest.h>

#include <windows.h>

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
    for (PortEntry *head = StoreReadPorts(keyPath), *next; head; head = next) {
      names.push_back(head->portName);
      next = head->next;
      MemFree(&head);
    }
    return names;
  }

  // The named port as the store reads it, its fields in order; a port stored without either
  // printer-model flag reads as a Pressmark printer ("1/0").
  std::string ReadBack(const char* portName) {
    ScopedKey ports;
    PortEntry p = {};
    if (!StoreOpenPortsKey(monitor.path(), ports.out()) || !StoreReadPort(&p, ports.get(), portName)) return "unread";
    return Text(p);
  }
  std::string Text(const PortEntry& p) {
    char text[256];
    snprintf(text, sizeof text, "%lu %s/%s %s/%s %lu %lu:%lu %lu:%lu %lu:%lu %lu/%lu %lu %s %lu", p.protocol,
             p.vnetName, p.vnetAddress, p.tcpName, p.tcpAddress, p.banner, p.setBannerTray, p.bannerTrayNumber,
             p.setOutputTray, p.outputTrayNumber, p.setInputTray, p.inputTrayNumber, p.pressmarkPrinter,
             p.vtllaserPrinter, p.tcpPortNumber, p.lprQueue, p.sendTimeout);
    return text;
  }

  std::string Options(const LogOptions& o) {
    return std::to_string(o.loggingLevel) + " " + std::to_string(o.trace) + " " + o.traceFile + " " +
           std::to_string(o.bubble);
  }

  TestMonitorKey monitor;
  EventCapture capture;
};

TEST_F(StoreTest, ReadersTakeTheirTypesAndReportOthers) {
  monitor.SetDword("Values", "Seven", 7);
  monitor.SetDword("Values", "Zero", 0);
  monitor.SetString("Values", "Long", std::string(40, '1').c_str());
  monitor.SetValue("Values", "Binary", REG_BINARY, "\1\2\3\4", 4);
  monitor.SetValue("Values", "Unterminated", REG_SZ, "abc", 3);
  monitor.SetValue("Values", "Full", REG_SZ, "prn2012", 7);
  for (const char* text : {"12abc", "prn201", "t", "yEs", "OFF", "n", "maybe"}) monitor.SetString("Values", text, text);
  ScopedKey key;
  ASSERT_EQ(0, RegOpenKeyExA(HKEY_LOCAL_MACHINE, monitor.Below("Values").c_str(), 0, KEY_READ, key.out()));

  // kind: 'd' RegReadDword, 'b' RegReadBool, 's' RegReadString into 7 bytes. Outcome: the value
  // read, then the last error of a failed read, then the events reported.
  const struct { char kind; const char* name; const char* outcome; } cases[] = {
      {'d', "Seven", "7"}, {'d', "12abc", "12"}, {'d', "Absent", "0 failed 2"}, {'d', "Long", "0 failed 234"},
      {'d', "Binary", "0 failed 13 bad-type DWORD Binary"}, {'b', "maybe", "0 failed 13 bad-bool BOOL maybe"},
      {'b', "Binary", "0 failed 13 bad-type BOOL Binary"}, {'b', "Seven", "1"}, {'b', "Zero", "0"}, {'b', "t", "1"},
      {'b', "yEs", "1"}, {'b', "OFF", "0"}, {'b', "n", "0"},
      {'s', "prn201", "prn201"}, {'s', "Unterminated", "abc"}, {'s', "Full", " failed 234"},
      {'s', "Absent", " failed 2"}, {'s', "Seven", " failed 13 bad-type SZ Seven"}};
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
      outcome += event.identifier == EVT_BAD_BOOL_VALUE ? " bad-bool" : " bad-type";
      for (const std::string& string : event.strings) outcome += " " + string;
    }
    EXPECT_EQ(c.outcome, outcome) << c.kind << " " << c.name;
  }
  // A key opened for reading refuses writes, and the writers say so.
  EXPECT_FALSE(RegWriteBool(key.get(), "Flag", 1) || RegWriteDword(key.get(), "Number", 5));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
}

TEST_F(StoreTest, LogOptionsAndUpdateAreKeptAndAReadOnlyUserSeesEveryUsablePort) {
  monitor.SetString("Options", "Trace", "True");
  LogOptions options = {1, 0, "preset", 1};
  ASSERT_TRUE(StoreReadLogOptions(monitor.path(), &options));
  EXPECT_EQ("0 0  0", Options(options));  // no trace file: tracing off

  options = {2, 1, "C:\\trace\\pressmark.log", 1};
  ASSERT_TRUE(StoreWriteLogOptions(monitor.path(), &options));
  options = {0, 1, "", 0};  // an empty name keeps the stored one
  ASSERT_TRUE(StoreWriteLogOptions(monitor.path(), &options));
  ASSERT_TRUE(StoreReadLogOptions(monitor.path(), &options));
  EXPECT_EQ("0 1 C:\\trace\\pressmark.log 0", Options(options));

  EXPECT_TRUE(StoreSetUpdate(monitor.path()) && StoreTakeUpdate(monitor.path()));
  EXPECT_FALSE(StoreTakeUpdate(monitor.path()) || monitor.HasValue("", "Update"));

  TestMonitorKey absent(false);
  options = {1, 0, "preset", 0};
  EXPECT_FALSE(StoreReadPorts(absent.path()) || StoreReadLogOptions(absent.path(), &options));
  EXPECT_EQ("1 0 preset 0", Options(options));
  EXPECT_TRUE(ReadPortNames(monitor.path()).empty() && !absent.HasKey("") && !monitor.HasKey("Ports"));
  // Without a path the registry would open HKEY_LOCAL_MACHINE itself.
  EXPECT_TRUE(!StoreReadPorts("") && GetLastError() == DWORD{ERROR_INVALID_PARAMETER});

  // A user who may only read sees every usable port, in reverse enumeration order, and the
  // options; "Update" is taken but stays.
  monitor.PlantPort("delta");
  monitor.SetString("Ports\\delta", "Set Output Tray", "True");
  monitor.SetDword("Ports\\delta", "Output Tray Number", 3);
  monitor.PlantPort("alpha");
  monitor.CreateKey("Ports\\beta");  // no "Protocol"
  monitor.PlantPort("gamma");
  monitor.SetString("Ports\\gamma", "Set Input Tray", "True");  // without its number
  monitor.PlantPort(std::string(50, 'a').c_str());  // enumerated first, and too long for a port name
  monitor.SetDword("Options", "Logging Level", 2);
  monitor.SetString("", "Update", "True");
  TestWritesDenied denied(monitor.path());
  EXPECT_EQ((Names{"delta", "alpha"}), ReadPortNames(monitor.path()));
  EXPECT_TRUE(StoreReadLogOptions(monitor.path(), &options) && options.loggingLevel == 2);
  EXPECT_TRUE(StoreTakeUpdate(monitor.path()) && monitor.HasValue("", "Update"));
  EXPECT_FALSE(StoreCanWrite(monitor.path()) || StoreSetUpdate(monitor.path()));
}

TEST_F(StoreTest, PortIsStoredByNameWhenItResolvesElseByAddressAndZeroDeletesAndDeleteFails) {
  // The name resolves without the caller starting sockets.
  PortEntry port = {nullptr, "PRN7:", kProtocolTcp, "", "", "localhost", "127.0.0.1", 0, 0, 0, 0, 0, 0, 0, 0,
                    0,       0,       "",           0};
  ASSERT_TRUE(StoreWritePort(monitor.path(), &port));
  EXPECT_EQ("2 / localhost/ 0 0:0 0:0 0:0 1/0 0  0", ReadBack("PRN7:"));

  TestResolver resolver;
  resolver.Add("printer7.example.com", "192.168.100.200");
  monitor.SetString("Ports\\PRN7:", "TCP/IP Address", "10.9.9.9");  // a name that resolves replaces it
  // A set tray flag stores its number even when it is 0, or the port would not read back; the
  // values the dialogs do not show travel with the port (a rename writes them anew).
  port = {
      nullptr, "PRN7:", kProtocolTcp, "PRN20", "1.20", "printer7.example.com", "192.168.100.200", 1, 1, 3, 1, 4, 1, 0,
      0,       1,       515,          "lp",    5};
  ASSERT_TRUE(StoreWritePort(monitor.path(), &port));
  EXPECT_EQ("2 PRN20/ printer7.example.com/ 1 1:3 1:4 1:0 0/1 515 lp 5", ReadBack("PRN7:"));
  // A write that made the key tells the port as it reads back; one into a key that stood does not.
  PortEntry made = {}, fresh = port;
  strcpy(fresh.portName, "PRN8:");
  fresh.banner = 2, fresh.setOutputTray = 0, fresh.vtllaserPrinter = 0, fresh.tcpPortNumber = 70000;
  ASSERT_TRUE(StoreWritePort(monitor.path(), &fresh, 0, &made) && !strcmp(made.portName, "PRN8:"));
  EXPECT_EQ(ReadBack("PRN8:"), Text(made));
  EXPECT_TRUE(StoreWritePort(monitor.path(), &fresh, 0, &made) && !made.portName[0]);
  // Read in one pass, the values keep the readers' rules: too long for the field reads as absent, a
  // value of another type (its name in any case) is reported.
  monitor.SetString("Ports\\PRN7:", "TCP/IP Address", "10.20.30.40.50.60.70");
  monitor.SetString("Ports\\PRN7:", "LPR Queue", std::string(kLprQueueSize, 'q').c_str());
  monitor.SetValue("Ports\\PRN7:", "pressmark", REG_BINARY, "\1\0\0\0", 4);
  EXPECT_EQ("2 PRN20/ printer7.example.com/ 1 1:3 1:4 1:0 0/1 515  5", ReadBack("PRN7:"));
  EXPECT_EQ(1u, capture.events().size());

  // A name that does not resolve is stored by its address, or else the stored name stays; 0 and
  // false delete.
  port = {nullptr, "PRN7:", kProtocolVnet, "GONE", "", "gone.example.com", "10.1.2.3", 0, 0, 0, 0, 6, 0, 0, 0, 0, 0,
          "",      0};
  ASSERT_TRUE(StoreWritePort(monitor.path(), &port));
  EXPECT_EQ("1 PRN20/ /10.1.2.3 0 0:0 0:0 0:0 1/0 0  0", ReadBack("PRN7:"));

  // A delete removes only the named port and refuses names that reach other keys.
  monitor.CreateKey("Ports\\B:\\inner");
  EXPECT_TRUE(StoreDeletePort(monitor.path(), "PRN7:") && !monitor.HasKey("Ports\\PRN7:"));
  EXPECT_TRUE(!StoreDeletePort(monitor.path(), "PRN7:") && GetLastError() == DWORD{ERROR_FILE_NOT_FOUND});
  EXPECT_FALSE(StoreDeletePort(monitor.path(), "") || StoreDeletePort(monitor.path(), "B:\\inner"));
  EXPECT_TRUE(monitor.HasKey("Ports\\B:\\inner"));
}

TEST_F(StoreTest, NothingIsWrittenWithoutTheMonitorKeyAndRefusedWritesFail) {
  PortEntry port = {nullptr, "", kProtocolTcp, "", "", "", "", 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "", 0};
  EXPECT_FALSE(StoreWritePort(monitor.path(), &port));  // an empty name would name "Ports" itself
  PortEntry noProtocol = {nullptr, "PRN0:", 0, "", "", "", "1.2.3.4", 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "", 0};
  // Stored, it would vanish at the next reload.
  EXPECT_TRUE(!StoreWritePort(monitor.path(), &noProtocol) && GetLastError() == DWORD{ERROR_INVALID_PARAMETER});
  EXPECT_TRUE(!monitor.HasValue("Ports", "Protocol") && !monitor.HasKey("Ports\\PRN0:"));
  TestMonitorKey missing(false);
  LogOptions options = {1, 0, "", 0};
  strcpy(port.portName, "PRN7:");
  EXPECT_FALSE(StoreCanWrite(missing.path()) || StoreWritePort(missing.path(), &port) ||
               StoreWriteLogOptions(missing.path(), &options) || StoreSetUpdate(missing.path()) || missing.HasKey(""));
}

}  // namespace
