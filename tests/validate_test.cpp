#include <gtest/gtest.h>

#include <windows.h>
#include <winspool.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "base/module.h"
#include "diag/eventlog.h"
#include "dlgutil/messages.h"
#include "eventcapture.h"
#include "model/vtlpmmon.h"
#include "portdlg/validate.h"
#include "resource.h"
#include "testregistry.h"

namespace {

constexpr UINT kUntouched = 4242;

struct TextCase {
  const char* text;
  UINT expected;  // 0: accepted
};

template <class Rule>
void ExpectRule(Rule rule, const std::vector<TextCase>& cases) {
  for (const TextCase& c : cases) {
    UINT id = kUntouched;
    bool accepted = rule(c.text, &id);
    EXPECT_EQ(c.expected == 0, accepted) << '"' << c.text << '"';
    EXPECT_EQ(c.expected ? c.expected : kUntouched, id) << '"' << c.text << '"';
    EXPECT_EQ(accepted, rule(c.text, nullptr)) << "without an out-parameter: " << c.text;
  }
}

TEST(ValidateTest, TcpNamesTakeDigitsLettersPeriodsAndHyphens) {
  const UINT refused = IDS_TCP_NAME_CHARACTERS;
  ExpectRule(CheckTcpName, {{"", 0}, {"-.", 0}, {"Printer-7.example.COM", 0}, {".a..b-", 0}, {"print_er", refused},
                            {"caf\xE9", refused}, {"a b", refused}, {"host\\x", refused}});
}

TEST(ValidateTest, TcpAddressesAreWhatInetAddrReads) {
  const UINT incorrect = IDS_TCP_ADDRESS_INCORRECT;
  ExpectRule(CheckTcpAddress, {{"10.0.0.1", 0}, {"10.1", 0}, {"0x0A.0.0.1", 0}, {"255.255.255.254", 0},
                               {"", IDS_TCP_ADDRESS_EMPTY}, {"255.255.255.255", incorrect}, {"1.2.3.4.5", incorrect},
                               {"printer", incorrect}});
}

TEST(ValidateTest, VnetNamesAreShortAndHoldALetter) {
  const UINT refused = IDS_VNET_NAME_CHARACTERS;
  ExpectRule(CheckVnetName, {{"", 0}, {"prn20", 0}, {"a12345", 0}, {"ABCDEF", 0}, {"123456", refused}, {"7", refused},
                             {"abcdefg", refused}, {"prn-2", refused}, {"prn_2", refused}, {"pr\xE9", refused},
                             {"a\\1", refused}});
}

TEST(ValidateTest, VnetAddressesHaveAnAreaAndANodeInRange) {
  struct Case {
    const char* text;
    bool valid;
  };
  const Case cases[] = {{"63.1023", true}, {"0.0", true},  {"1.2x", true}, {" 1. 2", true},  {"64.1", false},
                        {"1.1024", false}, {"7", false},   {"", false},    {"1 .2", false},   {".5", false},
                        {"a.b", false},    {"-1.5", false}, {"4294967296.1", false}};
  for (const Case& c : cases) EXPECT_EQ(c.valid, ParseVnetAddress(c.text)) << '"' << c.text << '"';
}

TEST(ValidateTest, NumbersInRange) {
  UINT id = kUntouched;
  EXPECT_TRUE(CheckLogLevel(0, &id));
  EXPECT_TRUE(CheckLogLevel(3, &id));
  EXPECT_EQ(kUntouched, id);
  EXPECT_FALSE(CheckLogLevel(4, &id));
  EXPECT_EQ(static_cast<UINT>(IDS_LOG_LEVEL_RANGE), id);
  id = kUntouched;
  EXPECT_FALSE(CheckLogLevel(0xFFFFFFFF, &id));
  EXPECT_EQ(static_cast<UINT>(IDS_LOG_LEVEL_RANGE), id);

  id = kUntouched;
  for (int tray : {-5, 0, 99}) {
    EXPECT_TRUE(CheckInputTray(tray, &id)) << tray;
    EXPECT_TRUE(CheckOutputTray(tray, &id)) << tray;
  }
  EXPECT_EQ(kUntouched, id);
}

TEST(ValidateTest, ShortNamesKeepEightAndThree) {
  char shortName[MAX_PATH];
  EXPECT_STREQ("C:\\logs\\monitort.tex", MakeShortName("C:\\logs\\monitortrace.text", shortName, sizeof shortName));
  EXPECT_STREQ("C:\\a\\b.c", MakeShortName("C:\\a\\b.c", shortName, sizeof shortName));
  EXPECT_STREQ("tracefil", MakeShortName("tracefile", shortName, sizeof shortName));
  char small[8];
  EXPECT_EQ(nullptr, MakeShortName("C:\\logs\\monitortrace.text", small, sizeof small));
  EXPECT_EQ(nullptr, MakeShortName(std::string(300, 'a').c_str(), shortName, sizeof shortName));
}

// Port names are checked against the spooler's ports and against the monitor's own store.
class PortNameTest : public ::testing::Test {
protected:
  void TearDown() override {
    MonitorShutdown();
    EvSetLevel(1);
  }

  TestMonitorKey monitor;
  EventCapture capture;
};

TEST_F(PortNameTest, EmptyAndBackslashNamesAreRefusedFirst) {
  // A port whose bad "Banner" is reported each time the store's ports are read: the probe shows
  // whether the check went as far as the port lists.
  monitor.PlantPort("Probe");
  monitor.SetString("Ports\\Probe", "Banner", "maybe");
  ASSERT_TRUE(MonitorInitialize(monitor.path()));
  capture.Clear();

  UINT id = kUntouched;
  EXPECT_FALSE(CheckPortName("", &id));
  EXPECT_EQ(static_cast<UINT>(IDS_PORT_NAME_EMPTY), id);
  EXPECT_FALSE(CheckPortName("a\\b", &id));
  EXPECT_EQ(static_cast<UINT>(IDS_PORT_NAME_BACKSLASH), id);
  EXPECT_TRUE(capture.events().empty()) << "the port lists were asked for";

  id = kUntouched;
  EXPECT_TRUE(CheckPortName("Unused Name", &id));
  EXPECT_EQ(kUntouched, id);
  EXPECT_FALSE(capture.events().empty()) << "the probe did not see the store being read";
}

TEST_F(PortNameTest, RefusesSpoolerPortThatDiffersOnlyInCase) {
  DWORD needed = 0;
  DWORD returned = 0;
  EnumPortsA(nullptr, 1, nullptr, 0, &needed, &returned);
  std::vector<BYTE> buffer(needed + 1);
  ASSERT_TRUE(EnumPortsA(nullptr, 1, buffer.data(), needed, &needed, &returned));
  auto* ports = reinterpret_cast<PORT_INFO_1A*>(buffer.data());
  bool hasLpt1 = false;
  for (DWORD i = 0; i < returned; ++i) hasLpt1 = hasLpt1 || strcmp(ports[i].pName, "LPT1:") == 0;
  ASSERT_TRUE(hasLpt1) << "the spooler has no LPT1: to test with";

  UINT id = kUntouched;
  EXPECT_FALSE(CheckPortName("lpt1:", &id));
  EXPECT_EQ(static_cast<UINT>(IDS_PORT_NAME_IN_USE), id);
  EXPECT_TRUE(CheckPortName("lpt1", nullptr));
}

TEST_F(PortNameTest, RefusesOwnPortThatDiffersOnlyInCase) {
  monitor.PlantPort("Alpha Printer");
  UINT id = kUntouched;
  EXPECT_TRUE(CheckPortName("alpha PRINTER", &id)) << "the store is consulted only once initialised";

  ASSERT_TRUE(MonitorInitialize(monitor.path()));
  monitor.PlantPort("Planted Later");
  EXPECT_FALSE(CheckPortName("alpha PRINTER", &id));
  EXPECT_EQ(static_cast<UINT>(IDS_PORT_NAME_IN_USE), id);
  id = kUntouched;
  EXPECT_FALSE(CheckPortName("planted later", &id)) << "the store, not the loaded list, is asked";
  EXPECT_EQ(static_cast<UINT>(IDS_PORT_NAME_IN_USE), id);
  id = kUntouched;
  EXPECT_TRUE(CheckPortName("Alpha Printer 2", &id));
  EXPECT_EQ(kUntouched, id);
}

// Trace files live in a directory of the test's own, removed with everything in it.
class TraceFileTest : public ::testing::Test {
protected:
  void SetUp() override {
    char temp[MAX_PATH];
    ASSERT_NE(0u, GetTempPathA(sizeof temp, temp));
    static int counter = 0;
    directory = std::string(temp) + "pm-trace-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(GetTickCount()) + "-" + std::to_string(++counter);
    ASSERT_TRUE(CreateDirectoryA(directory.c_str(), nullptr));
  }

  void TearDown() override {
    MonitorShutdown();
    EvSetLevel(1);
    for (const std::string& file : created) DeleteFileA(file.c_str());
    EXPECT_TRUE(RemoveDirectoryA(directory.c_str())) << "something was left behind in " << directory;
  }

  std::string Path(const char* name) { return directory + "\\" + name; }

  void Plant(const std::string& path, const std::string& contents) {
    created.push_back(path);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 0;
    WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr);
    CloseHandle(file);
  }

  static std::string Contents(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    char data[64] = {};
    DWORD read = 0;
    ReadFile(file, data, sizeof data - 1, &read, nullptr);
    CloseHandle(file);
    return std::string(data, read);
  }

  std::string directory;
  std::vector<std::string> created;
  TestMonitorKey monitor;
};

TEST_F(TraceFileTest, NewFileIsProvedCreatableAndNotLeftBehind) {
  std::string path = Path("new.log");
  UINT id = kUntouched;
  EXPECT_TRUE(CheckTraceFile(path.c_str(), &id));
  EXPECT_EQ(kUntouched, id);
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path.c_str()));
}

TEST_F(TraceFileTest, ExistingFilesAreKept) {
  std::string full = Path("full.log");
  std::string empty = Path("empty.log");
  Plant(full, "earlier trace");
  Plant(empty, "");
  EXPECT_TRUE(CheckTraceFile(full.c_str()));
  EXPECT_TRUE(CheckTraceFile(empty.c_str()));
  EXPECT_EQ("earlier trace", Contents(full));
  EXPECT_EQ("", Contents(empty));
}

TEST_F(TraceFileTest, EmptyFileThatCannotBeReadIsKept) {
  // Another writer holds the file without sharing reads, so the check can only append to it.
  std::string path = Path("held.log");
  Plant(path, "");
  HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, writer);
  EXPECT_TRUE(CheckTraceFile(path.c_str()));
  CloseHandle(writer);
  EXPECT_EQ("", Contents(path)) << "an empty file that was there before must survive the check";
}

TEST_F(TraceFileTest, RefusesEmptyNamesAndMissingDirectories) {
  UINT id = kUntouched;
  EXPECT_FALSE(CheckTraceFile("", &id));
  EXPECT_EQ(static_cast<UINT>(IDS_TRACE_FILE_REQUIRED), id);
  std::string missing = Path("missing");
  EXPECT_FALSE(CheckTraceFile((missing + "\\trace.log").c_str(), &id));
  EXPECT_EQ(static_cast<UINT>(IDS_TRACE_FILE_UNOPENED), id);
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(missing.c_str()));
}

TEST_F(TraceFileTest, StoredNameIsAcceptedAsItStands) {
  std::string stored = Path("missing\\Trace.log");
  monitor.SetString("Options", "Trace File", stored.c_str());
  UINT id = kUntouched;
  EXPECT_FALSE(CheckTraceFile(stored.c_str(), &id)) << "the store is consulted only once initialised";

  ASSERT_TRUE(MonitorInitialize(monitor.path()));
  id = kUntouched;
  EXPECT_TRUE(CheckTraceFile(stored.c_str(), &id));
  EXPECT_EQ(kUntouched, id);
  std::string otherCase = Path("missing\\trace.log");
  EXPECT_FALSE(CheckTraceFile(otherCase.c_str(), &id)) << "the stored name matches case-sensitively";
  EXPECT_EQ(static_cast<UINT>(IDS_TRACE_FILE_UNOPENED), id);
}

// What ShowValidationError hands to the message box.
struct ShownBox {
  HWND owner;
  std::string text;
  std::string caption;
  UINT style;
};
std::vector<ShownBox> shownBoxes;

int RecordBox(HWND owner, const char* text, const char* caption, UINT style) {
  shownBoxes.push_back({owner, text, caption, style});
  return IDOK;
}

class ValidationErrorTest : public ::testing::Test {
protected:
  void SetUp() override {
    shownBoxes.clear();
    SetMessageBoxTarget(RecordBox);
  }
  void TearDown() override {
    SetMessageBoxTarget(nullptr);
    ModuleInstance = savedInstance;
  }

  HWND dialog = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x4321));
  HINSTANCE savedInstance = ModuleInstance;
};

TEST_F(ValidationErrorTest, ShowsMessageAndPromptUnderTheErrorTitle) {
  ShowValidationError(dialog, IDS_TCP_NAME_CHARACTERS, IDS_PROMPT_TCP_NAME);
  ASSERT_EQ(1u, shownBoxes.size());
  EXPECT_EQ(dialog, shownBoxes[0].owner);
  EXPECT_EQ(
      "A TCP/IP name may contain only the characters\n0-9, a-z, A-Z, period (.) and hyphen (-).\n\n"
      "Please enter a valid TCP/IP name.",
      shownBoxes[0].text);
  EXPECT_EQ("Error Message", shownBoxes[0].caption);
  EXPECT_EQ(static_cast<UINT>(MB_ICONSTOP), shownBoxes[0].style & MB_ICONMASK);
  EXPECT_EQ(static_cast<UINT>(MB_OK), shownBoxes[0].style & MB_TYPEMASK);
}

TEST_F(ValidationErrorTest, FallsBackToBuiltInTexts) {
  ShowValidationError(dialog, IDS_ADD_DENIED, IDS_TCP_NOTICE);
  ASSERT_EQ(1u, shownBoxes.size());
  EXPECT_EQ("The information is invalid.\n\nPlease enter valid information.", shownBoxes[0].text);
  EXPECT_EQ("Error Message", shownBoxes[0].caption);

  // A module without a string table: every text, the title included, is the built-in one.
  HMODULE bare = GetModuleHandleA("ntdll.dll");
  char probe[8];
  ASSERT_EQ(0, LoadStringA(bare, IDS_ERROR_TITLE, probe, sizeof probe));
  ModuleInstance = bare;
  ShowValidationError(dialog, IDS_PORT_NAME_IN_USE, IDS_PROMPT_PORT_NAME);
  ASSERT_EQ(2u, shownBoxes.size());
  EXPECT_EQ("The information is invalid.\n\nPlease enter valid information.", shownBoxes[1].text);
  EXPECT_EQ("Error Message", shownBoxes[1].caption);
}

TEST(StringTableTest, HoldsExactlyTheTextsTheProgramLooksUp) {
  const UINT present[] = {1001, 1002, 1003, 1004, 1005, 1006, 1007, 1008, 1009, 1010, 1011, 1012, 1016,
                          1017, 1018, 1019, 1021, 1022, 1023, 1024, 1027, 1030, 1031, 1032};
  char text[256];
  for (UINT id = 1000; id <= 1300; ++id) {
    bool expected = std::find(std::begin(present), std::end(present), id) != std::end(present) ||
                    (id >= 1101 && id <= 1114);
    EXPECT_EQ(expected, LoadStringA(ModuleInstance, id, text, sizeof text) > 0) << id;
  }
  LoadStringA(ModuleInstance, IDS_VNET_NAME_CHARACTERS, text, sizeof text);
  EXPECT_STREQ("A VTLnet name may contain only letters and\ndigits and must contain at least one letter.", text);
}

}  // namespace
