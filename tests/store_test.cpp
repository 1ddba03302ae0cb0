#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/scoped.h"
#include "eventcapture.h"
#include "model/memory.h"
#include "model/store.h"
#include "testregistry.h"

namespace {

class StoreTest : public ::testing::Test {
protected:
  // Opens the test monitor's "Values" key, where the reader tests plant their values.
  HKEY ValuesKey() {
    monitor.CreateKey("Values");
    EXPECT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, monitor.Below("Values").c_str(), 0, KEY_READ, values.out()));
    return values.get();
  }

  std::vector<std::string> ReadPortNames() {
    std::vector<std::string> names;
    PortEntry* head = StoreReadPorts(monitor.path());
    while (head) {
      names.push_back(head->portName);
      PortEntry* next = head->next;
      MemFree(&head);
      head = next;
    }
    return names;
  }

  TestMonitorKey monitor;
  ScopedKey values;
  EventCapture capture;
};

TEST_F(StoreTest, DwordReaderAcceptsNumbersAndLeadingDigits) {
  monitor.SetDword("Values", "Number", 7);
  monitor.SetString("Values", "Digits", "12abc");
  monitor.SetString("Values", "Two", "2");
  monitor.SetString("Values", "Letters", "abc");
  HKEY key = ValuesKey();
  DWORD value = 99;
  EXPECT_TRUE(RegReadDword(key, "Number", &value));
  EXPECT_EQ(7u, value);
  EXPECT_TRUE(RegReadDword(key, "Digits", &value));
  EXPECT_EQ(12u, value);
  EXPECT_TRUE(RegReadDword(key, "Two", &value));
  EXPECT_EQ(2u, value);
  EXPECT_TRUE(RegReadDword(key, "Letters", &value));
  EXPECT_EQ(0u, value);
  EXPECT_TRUE(capture.events().empty());
}

TEST_F(StoreTest, DwordReaderReportsOtherTypes) {
  const BYTE bytes[] = {1, 2, 3, 4};
  monitor.SetValue("Values", "Binary", REG_BINARY, bytes, sizeof bytes);
  monitor.SetValue("Values", "Expand", REG_EXPAND_SZ, "5", 2);
  HKEY key = ValuesKey();
  DWORD value = 99;
  EXPECT_FALSE(RegReadDword(key, "Binary", &value));
  EXPECT_EQ(0u, value);
  EXPECT_FALSE(RegReadDword(key, "Expand", &value));
  ASSERT_EQ(2u, capture.events().size());
  EXPECT_EQ(EVT_BAD_VALUE_TYPE, capture.events()[0].identifier);
  EXPECT_EQ((std::vector<std::string>{"DWORD", "Binary"}), capture.events()[0].strings);
}

TEST_F(StoreTest, ReadersFailQuietlyForAbsentOrOversizedValues) {
  monitor.SetString("Values", "Long", std::string(40, '1').c_str());
  HKEY key = ValuesKey();
  DWORD value = 99;
  EXPECT_FALSE(RegReadDword(key, "Absent", &value));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  EXPECT_EQ(0u, value);
  EXPECT_FALSE(RegReadDword(key, "Long", &value));
  EXPECT_EQ(static_cast<DWORD>(ERROR_MORE_DATA), GetLastError());
  EXPECT_FALSE(RegReadBool(key, "Absent", &value));
  char text[8] = "old";
  EXPECT_FALSE(RegReadString(key, "Absent", text, sizeof text));
  EXPECT_STREQ("", text);
  EXPECT_TRUE(capture.events().empty());
}

TEST_F(StoreTest, StringReaderKeepsWithinItsBuffer) {
  monitor.SetString("Values", "Six", "prn201");
  monitor.SetString("Values", "Seven", "prn2012");
  monitor.SetValue("Values", "Unterminated", REG_SZ, "abc", 3);
  monitor.SetDword("Values", "Number", 1);
  HKEY key = ValuesKey();
  char text[7];
  EXPECT_TRUE(RegReadString(key, "Six", text, sizeof text));
  EXPECT_STREQ("prn201", text);
  EXPECT_FALSE(RegReadString(key, "Seven", text, sizeof text));
  EXPECT_EQ(static_cast<DWORD>(ERROR_MORE_DATA), GetLastError());
  EXPECT_STREQ("", text);
  EXPECT_TRUE(RegReadString(key, "Unterminated", text, sizeof text));
  EXPECT_STREQ("abc", text);
  EXPECT_TRUE(capture.events().empty());
  EXPECT_FALSE(RegReadString(key, "Number", text, sizeof text));
  EXPECT_STREQ("", text);
  ASSERT_EQ(1u, capture.events().size());
  EXPECT_EQ((std::vector<std::string>{"SZ", "Number"}), capture.events()[0].strings);
}

TEST_F(StoreTest, BoolReaderKnowsItsWordsInAnyCase) {
  const char* trueWords[] = {"1", "t", "TRUE", "On", "y", "yEs"};
  const char* falseWords[] = {"0", "F", "false", "OFF", "n", "No"};
  for (const char* word : trueWords) monitor.SetString("Values", (std::string("true ") + word).c_str(), word);
  for (const char* word : falseWords) monitor.SetString("Values", (std::string("false ") + word).c_str(), word);
  monitor.SetDword("Values", "Five", 5);
  monitor.SetDword("Values", "Zero", 0);
  HKEY key = ValuesKey();
  DWORD value = 0;
  for (const char* word : trueWords) {
    EXPECT_TRUE(RegReadBool(key, (std::string("true ") + word).c_str(), &value)) << word;
    EXPECT_EQ(1u, value) << word;
  }
  for (const char* word : falseWords) {
    value = 7;
    EXPECT_TRUE(RegReadBool(key, (std::string("false ") + word).c_str(), &value)) << word;
    EXPECT_EQ(0u, value) << word;
  }
  EXPECT_TRUE(RegReadBool(key, "Five", &value));
  EXPECT_EQ(1u, value);
  EXPECT_TRUE(RegReadBool(key, "Zero", &value));
  EXPECT_EQ(0u, value);
  EXPECT_TRUE(capture.events().empty());
}

TEST_F(StoreTest, BoolReaderReportsUnknownTextsAndTypes) {
  monitor.SetString("Values", "Banner", "maybe");
  const BYTE bytes[] = {1};
  monitor.SetValue("Values", "Binary", REG_BINARY, bytes, sizeof bytes);
  HKEY key = ValuesKey();
  DWORD value = 1;
  EXPECT_FALSE(RegReadBool(key, "Banner", &value));
  EXPECT_EQ(0u, value);
  EXPECT_FALSE(RegReadBool(key, "Binary", &value));
  ASSERT_EQ(2u, capture.events().size());
  EXPECT_EQ(EVT_BAD_BOOL_VALUE, capture.events()[0].identifier);
  EXPECT_EQ((std::vector<std::string>{"BOOL", "Banner"}), capture.events()[0].strings);
  EXPECT_EQ(EVT_BAD_VALUE_TYPE, capture.events()[1].identifier);
  EXPECT_EQ((std::vector<std::string>{"BOOL", "Binary"}), capture.events()[1].strings);
}

TEST_F(StoreTest, MissingPortsKeyIsCreatedAndEmpty) {
  EXPECT_EQ(std::vector<std::string>{}, ReadPortNames());
  EXPECT_TRUE(monitor.HasKey("Ports"));
}

TEST_F(StoreTest, MissingMonitorKeyReadsNothing) {
  TestMonitorKey absent(false);
  EXPECT_EQ(nullptr, StoreReadPorts(absent.path()));
  EXPECT_FALSE(absent.HasKey(""));
}

TEST_F(StoreTest, WithoutAKeyPathNothingIsOpened) {
  HKEY key = nullptr;
  EXPECT_FALSE(StoreOpenMonitorKey(nullptr, &key));
  EXPECT_FALSE(StoreOpenPortsKey("", &key));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_EQ(nullptr, StoreReadPorts(nullptr));
}

TEST_F(StoreTest, ListsPortsInReverseEnumerationOrder) {
  monitor.PlantPort("B");
  monitor.PlantPort("C");
  monitor.PlantPort("A");
  EXPECT_EQ((std::vector<std::string>{"C", "B", "A"}), ReadPortNames());
}

TEST_F(StoreTest, LeavesOutUnusablePortsAndLoadsTheRest) {
  monitor.PlantPort("alpha");
  monitor.CreateKey("Ports\\beta");  // no "Protocol"
  monitor.PlantPort("gamma");
  monitor.SetString("Ports\\gamma", "Set Input Tray", "True");  // without its number
  monitor.PlantPort("delta");
  monitor.SetString("Ports\\delta", "Set Output Tray", "True");
  monitor.SetDword("Ports\\delta", "Output Tray Number", 3);
  monitor.PlantPort(std::string(50, 'L').c_str());  // too long a name for a port
  monitor.PlantPort("zeta");
  monitor.SetValue("Ports\\zeta", "Protocol", REG_BINARY, "\2", 1);
  EXPECT_EQ((std::vector<std::string>{"delta", "alpha"}), ReadPortNames());
}

TEST_F(StoreTest, ReadsEveryPortField) {
  const std::string port = "Ports\\shipping";
  monitor.SetString(port, "Protocol", "1");
  monitor.SetString(port, "VTLnet Name", "prn20");
  monitor.SetString(port, "VTLnet Address", "12.345");
  monitor.SetString(port, "TCP/IP Name", "printer7.example.com");
  monitor.SetString(port, "TCP/IP Address", "10.1.2.3");
  monitor.SetString(port, "Banner", "Yes");
  monitor.SetString(port, "Set Banner Tray", "True");
  monitor.SetDword(port, "Banner Tray Number", 2);
  monitor.SetDword(port, "Set Output Tray", 1);
  monitor.SetDword(port, "Output Tray Number", 4);
  monitor.SetString(port, "Set Input Tray", "on");
  monitor.SetString(port, "Input Tray Number", "99");
  monitor.SetString(port, "VTLlaser TCP/IP", "True");

  ScopedKey ports;
  ASSERT_TRUE(StoreOpenPortsKey(monitor.path(), ports.out()));
  PortEntry entry = {};
  ASSERT_TRUE(StoreReadPort(&entry, ports.get(), "shipping"));
  EXPECT_STREQ("shipping", entry.portName);
  EXPECT_EQ(kProtocolVnet, entry.protocol);
  EXPECT_STREQ("prn20", entry.vnetName);
  EXPECT_STREQ("12.345", entry.vnetAddress);
  EXPECT_STREQ("printer7.example.com", entry.tcpName);
  EXPECT_STREQ("10.1.2.3", entry.tcpAddress);
  EXPECT_EQ(1u, entry.banner);
  EXPECT_EQ(1u, entry.setBannerTray);
  EXPECT_EQ(2u, entry.bannerTrayNumber);
  EXPECT_EQ(1u, entry.setOutputTray);
  EXPECT_EQ(4u, entry.outputTrayNumber);
  EXPECT_EQ(1u, entry.setInputTray);
  EXPECT_EQ(99u, entry.inputTrayNumber);
  EXPECT_EQ(0u, entry.pressmarkPrinter);
  EXPECT_EQ(1u, entry.vtllaserPrinter);
}

TEST_F(StoreTest, PortWithoutPrinterKindServesPressmark) {
  monitor.PlantPort("plain");
  monitor.SetString("Ports\\plain", "VTLnet Name", "toolong7");
  ScopedKey ports;
  ASSERT_TRUE(StoreOpenPortsKey(monitor.path(), ports.out()));
  PortEntry entry = {};
  ASSERT_TRUE(StoreReadPort(&entry, ports.get(), "plain"));
  EXPECT_EQ(1u, entry.pressmarkPrinter);
  EXPECT_EQ(0u, entry.vtllaserPrinter);
  EXPECT_STREQ("", entry.vnetName);
  EXPECT_FALSE(StoreReadPort(&entry, ports.get(), "absent"));
}

TEST_F(StoreTest, LogOptionsComeFromTheOptionsKey) {
  monitor.SetDword("Options", "Logging Level", 3);
  monitor.SetString("Options", "Trace", "True");
  monitor.SetString("Options", "Trace File", "C:\\trace.txt");
  monitor.SetString("Options", "Bubble", "Yes");
  LogOptions options = {};
  ASSERT_TRUE(StoreReadLogOptions(monitor.path(), &options));
  EXPECT_EQ(3u, options.loggingLevel);
  EXPECT_EQ(1u, options.trace);
  EXPECT_STREQ("C:\\trace.txt", options.traceFile);
  EXPECT_EQ(1u, options.bubble);
}

TEST_F(StoreTest, TraceIsOffWithoutATraceFile) {
  monitor.SetString("Options", "Trace", "True");
  LogOptions options = {1, 0, "preset", 1};
  ASSERT_TRUE(StoreReadLogOptions(monitor.path(), &options));
  EXPECT_EQ(0u, options.loggingLevel);
  EXPECT_EQ(0u, options.trace);
  EXPECT_STREQ("", options.traceFile);
  EXPECT_EQ(0u, options.bubble);
}

TEST_F(StoreTest, LogOptionsStayWhenTheMonitorKeyIsMissing) {
  TestMonitorKey absent(false);
  LogOptions options = {1, 0, "preset", 0};
  EXPECT_FALSE(StoreReadLogOptions(absent.path(), &options));
  EXPECT_EQ(1u, options.loggingLevel);
  EXPECT_STREQ("preset", options.traceFile);
}

TEST_F(StoreTest, UpdateFlagIsTakenOnce) {
  EXPECT_FALSE(StoreTakeUpdate(monitor.path()));

  monitor.SetString("", "Update", "True");
  EXPECT_TRUE(StoreTakeUpdate(monitor.path()));
  EXPECT_FALSE(monitor.HasValue("", "Update"));
  EXPECT_FALSE(StoreTakeUpdate(monitor.path()));

  monitor.SetString("", "Update", "Off");
  EXPECT_FALSE(StoreTakeUpdate(monitor.path()));
  EXPECT_FALSE(monitor.HasValue("", "Update"));

  monitor.SetString("", "Update", "perhaps");
  EXPECT_FALSE(StoreTakeUpdate(monitor.path()));
  EXPECT_TRUE(monitor.HasValue("", "Update"));
}

}  // namespace
