#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/memory.h"
#include "base/scoped.h"
#include "diag/eventlog.h"
#include "eventcapture.h"
#include "model/store.h"
#include "testregistry.h"

namespace {

class StoreTest : public ::testing::Test {
protected:
  std::vector<std::string> ReadPortNames(const char* keyPath) {
    std::vector<std::string> names;
    for (PortEntry* head = StoreReadPorts(keyPath); head;) {
      names.push_back(head->portName);
      PortEntry* next = head->next;
      MemFree(&head);
      head = next;
    }
    return names;
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

TEST_F(StoreTest, CreatesThePortsKeyButNeverTheMonitorKey) {
  EXPECT_EQ(std::vector<std::string>{}, ReadPortNames(monitor.path()));
  EXPECT_TRUE(monitor.HasKey("Ports"));
  TestMonitorKey absent(false);
  LogOptions options = {1, 0, "preset", 0};
  EXPECT_EQ(nullptr, StoreReadPorts(absent.path()));
  EXPECT_FALSE(StoreReadLogOptions(absent.path(), &options));
  EXPECT_EQ("1 preset", std::to_string(options.loggingLevel) + " " + options.traceFile);
  EXPECT_FALSE(absent.HasKey(""));
  // Without a path the registry would open HKEY_LOCAL_MACHINE itself.
  HKEY key = nullptr;
  EXPECT_FALSE(StoreOpenPortsKey("", &key));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_EQ(nullptr, StoreReadPorts(nullptr));
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

TEST_F(StoreTest, LogOptionsWithoutATraceFileTurnTracingOff) {
  monitor.SetString("Options", "Trace", "True");
  LogOptions options = {1, 0, "preset", 1};
  ASSERT_TRUE(StoreReadLogOptions(monitor.path(), &options));
  EXPECT_EQ("0 0  0", std::to_string(options.loggingLevel) + " " + std::to_string(options.trace) + " " +
                          options.traceFile + " " + std::to_string(options.bubble));
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

}  // namespace
