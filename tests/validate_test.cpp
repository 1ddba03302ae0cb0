#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "model/portlist.h"
#include "resource.h"
#include "rules/portrules.h"
#include "testregistry.h"

namespace {

constexpr UINT kUntouched = 4242;

TEST(ValidateTest, RulesAcceptUpToTheirBoundariesAndNameTheirRefusal) {
  const struct {
    bool (*rule)(const char*, UINT*);
    UINT refusal;
    std::vector<const char*> accepted, refused;
  } rules[] = {
      {CheckTcpName, IDS_TCP_NAME_CHARACTERS, {"", "Printer-7.example.COM", ".a..b-"},
       {"print_er", "caf\xE9", "a b", "host\\x"}},
      {CheckTcpAddress, IDS_TCP_ADDRESS_INCORRECT, {"10.1", "0x0A.0.0.1", "255.255.255.254"},
       {"255.255.255.255", "1.2.3.4.5", "printer"}},
      {CheckVnetName, IDS_VNET_NAME_CHARACTERS, {"", "a12345", "ABCDEF"},
       {"abcdefg", "123456", "prn-2", "pr\xE9", "a\\1"}},
      {CheckVnetAddress, IDS_VNET_ADDRESS_INCORRECT, {"63.1023", "0.0", " 1. 2", "1.2x"},
       {"64.1", "1.1024", "7", "1 .2", "-1.5", "4294967296.1"}},
      {CheckTcpAddress, IDS_TCP_ADDRESS_EMPTY, {}, {""}},   {CheckVnetAddress, IDS_VNET_ADDRESS_EMPTY, {}, {""}},
      {CheckTraceFile, IDS_TRACE_FILE_REQUIRED, {}, {""}}, {CheckPortName, IDS_PORT_NAME_EMPTY, {}, {""}},
      {CheckPortName, IDS_PORT_NAME_BACKSLASH, {"file"}, {"a\\b"}},
      {CheckPortName, IDS_PORT_NAME_IN_USE, {}, {"file:"}},  // the spooler's, in any case
  };
  for (const auto& r : rules) {
    for (bool valid : {true, false}) {
      for (const char* text : valid ? r.accepted : r.refused) {
        UINT id = kUntouched;
        EXPECT_TRUE(r.rule(text, &id) == valid && r.rule(text, nullptr) == valid) << '"' << text << '"';
        EXPECT_EQ(valid ? kUntouched : r.refusal, id) << '"' << text << '"';
      }
    }
  }
  UINT id = kUntouched;
  EXPECT_TRUE(CheckLogLevel(3, &id) && !CheckLogLevel(4, nullptr) && !CheckLogLevel(0xFFFFFFFF, &id));
  EXPECT_EQ(static_cast<UINT>(IDS_LOG_LEVEL_RANGE), id);
  // The port UI prompts for the field a refusal concerns; for a restart when the spooler gave no port list.
  for (auto [message, prompt] : {std::pair{IDS_TCP_ADDRESS_EMPTY, IDS_PROMPT_TCP_ADDRESS},
                                 {IDS_INVALID_LOG_LEVEL, IDS_PROMPT_LOG_LEVEL},
                                 {IDS_PORT_NAME_UNCHECKED, IDS_PROMPT_RESTART}})
    EXPECT_EQ(static_cast<UINT>(prompt), PortRulePrompt(message)) << message;
}

TEST(ValidateTest, ShortNamesKeepEightAndThreeWhenTheyFit) {
  char shortName[MAX_PATH];
  EXPECT_STREQ("C:\\logs\\monitort.tex", MakeShortName("C:\\logs\\monitortrace.text", shortName, sizeof shortName));
  EXPECT_STREQ("tracefil", MakeShortName("tracefile", shortName, 9));
  EXPECT_EQ(nullptr, MakeShortName("tracefile", shortName, 8));
  EXPECT_EQ(nullptr, MakeShortName(std::string(300, 'a').c_str(), shortName, sizeof shortName));
}

// Trace files go to a directory of the test's own, which must be empty again at the end.
TEST(ValidateTest, TraceFileCheckKeepsWhatWasThereAndLeavesNothingNew) {
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  const std::string directory = temp + std::string("pm-trace-") + std::to_string(GetCurrentProcessId());
  const std::string created = directory + "\\new.log", held = directory + "\\held.log";
  ASSERT_TRUE(CreateDirectoryA(directory.c_str(), nullptr));
  // Another writer holds an empty file without sharing reads, so the check can only append to it.
  HANDLE writer = CreateFileA(held.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              CREATE_NEW, 0, nullptr);
  EXPECT_TRUE(CheckTraceFile(created.c_str()) && CheckTraceFile(held.c_str()));
  CloseHandle(writer);
  EXPECT_FALSE(DeleteFileA(created.c_str())) << "the check left the file it created";
  EXPECT_TRUE(DeleteFileA(held.c_str())) << "the check removed a file that was there";
  EXPECT_TRUE(RemoveDirectoryA(directory.c_str())) << "something was left behind in " << directory;
}

// Once the monitor is initialised, its store counts: the ports in it (as it is now, not as it
// was loaded) are in use, and its trace file passes as it is stored even where it cannot be opened.
TEST(ValidateTest, InitialisedMonitorsStoreHoldsPortsInUseAndTheTraceFileThatStands) {
  constexpr char kStored[] = "C:\\pm-no-such-directory\\Trace.log";
  TestMonitorKey monitor;
  monitor.PlantPort("Alpha Printer");
  monitor.SetString("Options", "Trace File", kStored);
  UINT id = kUntouched;
  EXPECT_TRUE(CheckPortName("alpha PRINTER") && !CheckTraceFile(kStored, &id));
  EXPECT_EQ(static_cast<UINT>(IDS_TRACE_FILE_UNOPENED), id);
  ASSERT_TRUE(MonitorInitialize(monitor.path()));
  monitor.PlantPort("Planted Later");
  EXPECT_FALSE(CheckPortName("alpha PRINTER", &id) || CheckPortName("planted later"));
  EXPECT_EQ(static_cast<UINT>(IDS_PORT_NAME_IN_USE), id);
  EXPECT_TRUE(CheckPortName("Alpha Printer 2") && CheckTraceFile(kStored));
  EXPECT_FALSE(CheckTraceFile("C:\\pm-no-such-directory\\trace.log")) << "the stored name is taken exactly";
  MonitorShutdown();
}

}  // namespace
