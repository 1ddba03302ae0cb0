#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/module.h"
#include "dialogdriver.h"
#include "model/portlist.h"
#include "resource.h"
#include "rules/validate.h"
#include "testregistry.h"

namespace {

constexpr UINT kUntouched = 4242;

using Rule = bool (*)(const char*, UINT*);

TEST(ValidateTest, RulesAcceptUpToTheirBoundariesAndNameTheirRefusal) {
  const struct {
    Rule rule;
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
      {CheckTcpAddress, IDS_TCP_ADDRESS_EMPTY, {}, {""}},
      {CheckVnetAddress, IDS_VNET_ADDRESS_EMPTY, {}, {""}},
  };
  for (const auto& r : rules) {
    for (bool valid : {true, false}) {
      for (const char* text : valid ? r.accepted : r.refused) {
        UINT id = kUntouched;
        EXPECT_EQ(valid, r.rule(text, &id)) << '"' << text << '"';
        EXPECT_EQ(valid ? kUntouched : r.refusal, id) << '"' << text << '"';
        EXPECT_EQ(valid, r.rule(text, nullptr)) << '"' << text << '"';
      }
    }
  }
  UINT id = kUntouched;
  EXPECT_TRUE(CheckLogLevel(3, &id));
  EXPECT_FALSE(CheckLogLevel(4, nullptr));
  EXPECT_FALSE(CheckLogLevel(0xFFFFFFFF, &id));
  EXPECT_EQ(static_cast<UINT>(IDS_LOG_LEVEL_RANGE), id);
}

TEST(ValidateTest, ShortNamesKeepEightAndThreeOrDoNotFit) {
  char shortName[MAX_PATH];
  EXPECT_STREQ("C:\\logs\\monitort.tex", MakeShortName("C:\\logs\\monitortrace.text", shortName, sizeof shortName));
  EXPECT_STREQ("tracefil", MakeShortName("tracefile", shortName, sizeof shortName));
  char small[8];
  EXPECT_EQ(nullptr, MakeShortName("C:\\logs\\monitortrace.text", small, sizeof small));
  EXPECT_EQ(nullptr, MakeShortName(std::string(300, 'a').c_str(), shortName, sizeof shortName));
}

// Existing ports are the spooler's and, once the monitor is initialised, those in its store.
TEST(PortNameTest, RefusesEmptyBackslashAndExistingNamesInAnyCase) {
  const struct {
    const char* name;
    UINT refusal;  // 0: accepted
  } cases[] = {{"", IDS_PORT_NAME_EMPTY},           {"a\\b", IDS_PORT_NAME_BACKSLASH},
               {"file:", IDS_PORT_NAME_IN_USE},     {"file", 0},
               {"alpha PRINTER", IDS_PORT_NAME_IN_USE}, {"planted later", IDS_PORT_NAME_IN_USE},
               {"Alpha Printer 2", 0}};
  TestMonitorKey monitor;
  monitor.PlantPort("Alpha Printer");
  EXPECT_TRUE(CheckPortName("alpha PRINTER"));
  ASSERT_TRUE(MonitorInitialize(monitor.path()));
  monitor.PlantPort("Planted Later");  // the store is asked, not the loaded list
  for (const auto& c : cases) {
    UINT id = kUntouched;
    EXPECT_EQ(c.refusal == 0, CheckPortName(c.name, &id)) << c.name;
    EXPECT_EQ(c.refusal ? c.refusal : kUntouched, id) << c.name;
  }
  MonitorShutdown();
}

// Trace files live in a directory of the test's own, which must be empty again at the end.
class TraceFileTest : public ::testing::Test {
protected:
  void SetUp() override {
    char temp[MAX_PATH];
    ASSERT_NE(0u, GetTempPathA(sizeof temp, temp));
    directory = std::string(temp) + "pm-trace-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(GetTickCount());
    ASSERT_TRUE(CreateDirectoryA(directory.c_str(), nullptr));
  }
  void TearDown() override {
    MonitorShutdown();
    for (const char* name : {"full.log", "empty.log", "held.log"}) DeleteFileA(Path(name).c_str());
    EXPECT_TRUE(RemoveDirectoryA(directory.c_str())) << "something was left behind in " << directory;
  }

  std::string Path(const char* name) { return directory + "\\" + name; }
  void Plant(const char* name, const char* contents) {
    FILE* file = fopen(Path(name).c_str(), "wb");
    ASSERT_NE(nullptr, file);
    fputs(contents, file);
    fclose(file);
  }
  std::string Contents(const char* name) {
    FILE* file = fopen(Path(name).c_str(), "rb");
    if (!file) return "<missing>";
    char data[64] = {};
    size_t read = fread(data, 1, sizeof data - 1, file);
    fclose(file);
    return std::string(data, read);
  }

  std::string directory;
  TestMonitorKey monitor;
};

TEST_F(TraceFileTest, KeepsEveryFileThatWasThereAndLeavesNoNewOne) {
  EXPECT_TRUE(CheckTraceFile(Path("new.log").c_str()));
  EXPECT_EQ("<missing>", Contents("new.log"));
  Plant("full.log", "earlier trace");
  Plant("empty.log", "");
  EXPECT_TRUE(CheckTraceFile(Path("full.log").c_str()));
  EXPECT_TRUE(CheckTraceFile(Path("empty.log").c_str()));
  EXPECT_EQ("earlier trace", Contents("full.log"));
  EXPECT_EQ("", Contents("empty.log"));

  // Another writer holds this one without sharing reads, so the check can only append to it.
  Plant("held.log", "");
  HANDLE writer = CreateFileA(Path("held.log").c_str(), GENERIC_WRITE, FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, writer);
  EXPECT_TRUE(CheckTraceFile(Path("held.log").c_str()));
  CloseHandle(writer);
  EXPECT_EQ("", Contents("held.log"));
}

TEST_F(TraceFileTest, RefusesEmptyNamesAndMissingDirectoriesButTakesTheStoredName) {
  UINT id = kUntouched;
  EXPECT_FALSE(CheckTraceFile("", &id));
  EXPECT_EQ(static_cast<UINT>(IDS_TRACE_FILE_REQUIRED), id);
  std::string stored = Path("missing\\Trace.log");
  EXPECT_FALSE(CheckTraceFile(stored.c_str(), &id));
  EXPECT_EQ(static_cast<UINT>(IDS_TRACE_FILE_UNOPENED), id);

  monitor.SetString("Options", "Trace File", stored.c_str());
  ASSERT_TRUE(MonitorInitialize(monitor.path()));
  id = kUntouched;
  EXPECT_TRUE(CheckTraceFile(stored.c_str(), &id));
  EXPECT_EQ(kUntouched, id);
  EXPECT_FALSE(CheckTraceFile(Path("missing\\trace.log").c_str())) << "the stored name matches case-sensitively";
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(Path("missing").c_str()));
}

TEST(ValidationErrorTest, FallsBackToBuiltInTextsForIdsWithoutAString) {
  const HINSTANCE savedInstance = ModuleInstance;
  MessageBoxRecorder boxes(IDOK, false);
  const std::string fallback = "The information is invalid.\n\nPlease enter valid information.";
  ShowValidationError(nullptr, IDS_ADD_DENIED, IDS_TCP_NOTICE);
  // A module without a string table: the title is the built-in one too.
  ModuleInstance = GetModuleHandleA("ntdll.dll");
  ShowValidationError(nullptr, IDS_PORT_NAME_IN_USE, IDS_PROMPT_PORT_NAME);
  ModuleInstance = savedInstance;
  ASSERT_EQ(2u, boxes.boxes().size());
  for (const RecordedBox& box : boxes.boxes()) {
    EXPECT_EQ(fallback, box.text);
    EXPECT_EQ("Error Message", box.caption);
  }
}

}  // namespace
