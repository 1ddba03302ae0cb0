// The monitor library as the print subsystem uses it: its entry points called directly, the
// spooler's view of its ports once installed, its event messages and its installer. These tests
// work under the monitor's real key and install into the prefix's system directory, so they run
// one at a time with the other window tests, and leave the prefix as they found it.
#include <gtest/gtest.h>

#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

#include <algorithm>
#include <cstdint>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "dialogdriver.h"
#include "diag/eventlog.h"
#include "model/portentry.h"
#include "model/vtlpmmon.h"
#include "portdlg/validate.h"
#include "resource.h"
#include "testregistry.h"

namespace {

constexpr char kLibraryName[] = "vtlpmmw4.dll";
constexpr char kInstaller[] = "vtlpminst.exe";
constexpr DWORD kNothingToDo = 2;

std::string ProgramDirectory() {
  char path[MAX_PATH];
  std::string directory(path, GetModuleFileNameA(nullptr, path, sizeof path));
  return directory.substr(0, directory.find_last_of("\\/") + 1);
}

std::string InstalledLibraryPath() {
  char path[MAX_PATH];
  return std::string(path, GetSystemDirectoryA(path, sizeof path)) + "\\" + kLibraryName;
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool KeyExists(const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key)) return false;
  RegCloseKey(key);
  return true;
}

bool IsRegistered() {
  DWORD needed = 0;
  DWORD count = 0;
  EnumMonitorsA(nullptr, 1, nullptr, 0, &needed, &count);
  std::vector<BYTE> buffer(needed + 1);
  if (!EnumMonitorsA(nullptr, 1, buffer.data(), needed, &needed, &count)) return false;
  auto* monitors = reinterpret_cast<MONITOR_INFO_1A*>(buffer.data());
  return std::any_of(monitors, monitors + count, [](auto& m) { return !strcmp(m.pName, kMonitorName); });
}

// The ports the spooler lists at the level, by name.
std::vector<std::string> SpoolerPorts(DWORD level = 1) {
  DWORD needed = 0;
  DWORD count = 0;
  EnumPortsA(nullptr, level, nullptr, 0, &needed, &count);
  std::vector<BYTE> buffer(needed + 1);
  EXPECT_TRUE(EnumPortsA(nullptr, level, buffer.data(), needed, &needed, &count)) << GetLastError();
  std::vector<std::string> names;
  for (DWORD i = 0; i < count; ++i) {
    names.push_back(level == 1 ? reinterpret_cast<PORT_INFO_1A*>(buffer.data())[i].pName
                               : reinterpret_cast<PORT_INFO_2A*>(buffer.data())[i].pPortName);
  }
  return names;
}

bool Lists(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

// The monitor's key under its real name, where the library reads. The test prefix has no monitor
// installed, so the key is a test's own and goes after it; a key that was there is left alone.
class RealMonitorKey {
public:
  ~RealMonitorKey() {
    if (foundThere_) return;
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kDefaultMonitorKeyPath);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kDefaultMonitorKeyPath);
  }

  void PlantPort(const std::string& name) const {
    DWORD protocol = kProtocolTcp;
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueA(HKEY_LOCAL_MACHINE, PortPath(name).c_str(), "Protocol", REG_DWORD,
                                             &protocol, sizeof protocol));
  }
  bool HasPort(const std::string& name) const { return KeyExists(PortPath(name)); }
  bool HasUpdate() const {
    return !RegGetValueA(HKEY_LOCAL_MACHINE, kDefaultMonitorKeyPath, "Update", RRF_RT_ANY, nullptr, nullptr, nullptr);
  }

private:
  static std::string PortPath(const std::string& name) {
    return std::string(kDefaultMonitorKeyPath) + "\\Ports\\" + name;
  }
  bool foundThere_ = KeyExists(kDefaultMonitorKeyPath);
};

class MonitorLibraryTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_FALSE(IsRegistered() || KeyExists(kDefaultMonitorKeyPath))
        << "this prefix has the monitor installed already; remove it with vtlpminst remove";
  }

  // Loads the library of this build, as the spooler does, and initialises it.
  void Load() {
    library = LoadLibraryA((ProgramDirectory() + kLibraryName).c_str());
    ASSERT_NE(nullptr, library) << GetLastError();
    initialize = reinterpret_cast<decltype(initialize)>(
        reinterpret_cast<void*>(GetProcAddress(library, "InitializePrintMonitor2")));
    ASSERT_NE(nullptr, initialize);
    Initialize();
  }
  void Initialize() {
    MONITORINIT init = {};
    init.cbSize = sizeof init;
    init.bLocal = TRUE;
    table = initialize(&init, &monitor);
    ASSERT_NE(nullptr, table) << GetLastError();
  }
  void Unload() {
    if (library) FreeLibrary(library);
    library = nullptr;
  }
  void TearDown() override { Unload(); }

  // Enumerates at level 1 into a buffer of exactly the size asked for.
  std::vector<std::wstring> Ports() {
    DWORD needed = 0;
    DWORD count = 0;
    table->pfnEnumPorts(monitor, nullptr, 1, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed + 1);
    EXPECT_TRUE(table->pfnEnumPorts(monitor, nullptr, 1, buffer.data(), needed, &needed, &count)) << GetLastError();
    std::vector<std::wstring> names;
    for (DWORD i = 0; i < count; ++i) names.push_back(reinterpret_cast<PORT_INFO_1W*>(buffer.data())[i].pName);
    return names;
  }
  BOOL DeletePort(const wchar_t* name) {
    return table->pfnDeletePort(monitor, nullptr, nullptr, const_cast<LPWSTR>(name));
  }

  RealMonitorKey key;
  HMODULE library = nullptr;
  LPMONITOR2(WINAPI* initialize)(PMONITORINIT, PHANDLE) = nullptr;
  LPMONITOR2 table = nullptr;
  HANDLE monitor = nullptr;
};

TEST_F(MonitorLibraryTest, EnumeratesWideRecordsPackedLikeTheMonitorsOwn) {
  key.PlantPort("LibAlpha");
  key.PlantPort("LibBeta");
  key.PlantPort("LibGamma");
  ASSERT_NO_FATAL_FAILURE(Load());
  ASSERT_EQ(sizeof(MONITOR2), table->cbSize);

  // The list runs in the reverse of the store's order: LibGamma, LibBeta, LibAlpha.
  const DWORD size = 3 * sizeof(PORT_INFO_1W) + sizeof L"LibGamma" + sizeof L"LibBeta" + sizeof L"LibAlpha";
  DWORD needed = 0;
  DWORD returned = 0xBEEF;
  EXPECT_FALSE(table->pfnEnumPorts(monitor, nullptr, 1, nullptr, 0, &needed, &returned));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  EXPECT_EQ(size, needed);
  EXPECT_EQ(0xBEEFu, returned);

  std::vector<BYTE> buffer(size + 1, 0xEE);
  EXPECT_FALSE(table->pfnEnumPorts(monitor, nullptr, 1, buffer.data(), size - 1, &needed, &returned));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  EXPECT_EQ(std::vector<BYTE>(size + 1, 0xEE), buffer);

  ASSERT_TRUE(table->pfnEnumPorts(monitor, nullptr, 1, buffer.data(), size, &needed, &returned));
  ASSERT_EQ(3u, returned);
  auto* records = reinterpret_cast<PORT_INFO_1W*>(buffer.data());
  auto offset = [&](DWORD i) { return reinterpret_cast<BYTE*>(records[i].pName) - buffer.data(); };
  EXPECT_EQ(std::wstring(L"LibGamma"), records[0].pName);
  EXPECT_EQ(std::wstring(L"LibBeta"), records[1].pName);
  EXPECT_EQ(std::wstring(L"LibAlpha"), records[2].pName);
  EXPECT_EQ(size - sizeof L"LibGamma", offset(0));
  EXPECT_EQ(3 * sizeof(PORT_INFO_1W), offset(2));

  // One byte more than needed: the names move down to even addresses rather than sit askew.
  ASSERT_TRUE(table->pfnEnumPorts(monitor, nullptr, 1, buffer.data(), size + 1, &needed, &returned));
  for (DWORD i = 0; i < 3; ++i) EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(records[i].pName) % 2) << i;
  EXPECT_EQ(std::wstring(L"LibAlpha"), records[2].pName);

  // Only level 1 is served; no record is claimed for another level.
  returned = 7;
  EXPECT_FALSE(table->pfnEnumPorts(monitor, nullptr, 2, buffer.data(), size + 1, &needed, &returned));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_LEVEL), GetLastError());
  EXPECT_EQ(0u, returned);
}

TEST_F(MonitorLibraryTest, OpensPortsByExactNameAndEveryFailureSetsItsOwnCode) {
  key.PlantPort("LibBeta");
  ASSERT_NO_FATAL_FAILURE(Load());
  HANDLE port = nullptr;
  EXPECT_TRUE(table->pfnOpenPort(monitor, const_cast<LPWSTR>(L"LibBeta"), &port));
  EXPECT_NE(nullptr, port);

  // A stale code below 1900 would survive the monitor's normalisation if a failure left it.
  auto codeOf = [](auto call) {
    SetLastError(ERROR_FILE_EXISTS);
    EXPECT_FALSE(call());
    return GetLastError();
  };
  DWORD needed = 0;
  DWORD returned = 0;
  EXPECT_EQ(1u, codeOf([&] { return table->pfnOpenPort(monitor, const_cast<LPWSTR>(L"libbeta"), &port); }));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE),
            codeOf([&] { return table->pfnConfigurePort(nullptr, nullptr, nullptr, const_cast<LPWSTR>(L"LibBeta")); }));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER),
            codeOf([&] { return table->pfnEnumPorts(monitor, nullptr, 1, nullptr, 8, &needed, &returned); }));
  table->pfnShutdown(monitor);
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_READY),
            codeOf([&] { return table->pfnEnumPorts(monitor, nullptr, 1, nullptr, 0, &needed, &returned); }));
}

TEST_F(MonitorLibraryTest, NameOutsideTheCodePageReachesNoPort) {
  key.PlantPort("P?rt");
  key.PlantPort("alpha");
  ASSERT_NO_FATAL_FAILURE(Load());
  // Converted loosely, U+4E00 would become "?" and a full-width "a" a plain one.
  SetLastError(0);
  EXPECT_FALSE(DeletePort(L"P\u4E00rt"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_NAME), GetLastError());
  EXPECT_FALSE(DeletePort(L"\uFF41lpha"));
  EXPECT_TRUE(key.HasPort("P?rt") && key.HasPort("alpha"));

  EXPECT_TRUE(DeletePort(L"P?rt"));
  EXPECT_FALSE(key.HasPort("P?rt"));
  EXPECT_EQ(std::vector<std::wstring>{L"alpha"}, Ports());
}

TEST_F(MonitorLibraryTest, StandsBeingInitialisedShutDownAndUnloadedManyTimes) {
  key.PlantPort("LibAlpha");
  const std::string path = ProgramDirectory() + kLibraryName;
  for (int cycle = 0; cycle < 12; ++cycle) {
    SCOPED_TRACE(cycle);
    ASSERT_NO_FATAL_FAILURE(Load());
    EXPECT_NE(nullptr, GetModuleHandleA("vnetw"));  // bound on load
    EXPECT_EQ(static_cast<size_t>(cycle + 1), Ports().size());
    table->pfnShutdown(monitor);
    // Initialised again after a shutdown, it reads the store afresh.
    key.PlantPort("LibPort" + std::to_string(cycle));
    ASSERT_NO_FATAL_FAILURE(Initialize());
    EXPECT_EQ(static_cast<size_t>(cycle + 2), Ports().size());
    // Unloaded without a shutdown: the module must still give back what it holds.
    Unload();
    EXPECT_EQ(nullptr, GetModuleHandleA(path.c_str()));
    EXPECT_EQ(nullptr, GetModuleHandleA("vnetw"));
  }
}

TEST_F(MonitorLibraryTest, PortDialogsComeFromTheLibrarysOwnResources) {
  key.PlantPort("LibAlpha");
  ASSERT_NO_FATAL_FAILURE(Load());
  for (bool adding : {false, true}) {
    DialogScript script;
    script.Then([&](HWND dialog) {
      EXPECT_EQ(reinterpret_cast<LONG_PTR>(library), GetWindowLongPtrA(dialog, GWLP_HINSTANCE));
      if (adding) {
        EXPECT_EQ("Add Port - Vantrel Pressmark Printer", WindowText(dialog));
      } else {
        EXPECT_EQ("Configure Port - Vantrel Pressmark Printer", WindowText(dialog));
        EXPECT_EQ("LibAlpha", ControlText(dialog, IDC_PORT_NAME_TEXT));
      }
      PostClick(dialog, IDCANCEL);
    });
    INT_PTR result = script.Run([&]() -> INT_PTR {
      return adding ? table->pfnAddPort(monitor, nullptr, nullptr, const_cast<LPWSTR>(L"Vantrel Pressmark Printer"))
                    : table->pfnConfigurePort(monitor, nullptr, nullptr, const_cast<LPWSTR>(L"LibAlpha"));
    });
    EXPECT_EQ(TRUE, result) << (adding ? "add" : "configure");
  }
  EXPECT_EQ(std::vector<std::wstring>{L"LibAlpha"}, Ports());
}

TEST_F(MonitorLibraryTest, MessageTableHoldsOneTextPerEventWithItsInsertionStrings) {
  HMODULE messages =
      LoadLibraryExA((ProgramDirectory() + kLibraryName).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(nullptr, messages);
  HRSRC resource = FindResourceA(messages, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(11));  // RT_MESSAGETABLE
  ASSERT_NE(nullptr, resource);
  auto* table = static_cast<const MESSAGE_RESOURCE_DATA*>(LockResource(LoadResource(messages, resource)));
  std::set<DWORD> identifiers;
  for (DWORD block = 0; block < table->NumberOfBlocks; ++block) {
    for (DWORD id = table->Blocks[block].LowId; id <= table->Blocks[block].HighId; ++id) identifiers.insert(id);
  }
  EXPECT_EQ((std::set<DWORD>{EVT_INTERNAL_ERROR, EVT_BAD_VALUE_TYPE, EVT_BAD_BOOL_VALUE, EVT_PORT_NOT_FOUND}),
            identifiers);

  // Each event's text takes exactly as many insertion strings as the monitor reports with it.
  const std::pair<DWORD, size_t> events[] = {
      {EVT_INTERNAL_ERROR, 3}, {EVT_BAD_VALUE_TYPE, 2}, {EVT_BAD_BOOL_VALUE, 2}, {EVT_PORT_NOT_FOUND, 1}};
  const std::regex insertion("%([0-9]+)");
  for (const auto& [identifier, count] : events) {
    char text[1024] = {};
    ASSERT_NE(0u, FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, messages, identifier,
                                 0, text, sizeof text, nullptr))
        << std::hex << identifier;
    const std::string raw = text;
    std::set<size_t> found;
    for (std::sregex_iterator it(raw.begin(), raw.end(), insertion), end; it != end; ++it) {
      found.insert(std::stoul((*it)[1]));
    }
    std::set<size_t> expected;
    for (size_t i = 1; i <= count; ++i) expected.insert(i);
    EXPECT_EQ(expected, found) << raw;
  }
  FreeLibrary(messages);
}

// With the monitor installed, the spooler loads the library of its own kind from the system
// directory whenever it enumerates.
class InstalledMonitorTest : public MonitorLibraryTest {
protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(MonitorLibraryTest::SetUp());
    ASSERT_EQ(0u, RunTool(kInstaller, "install"));
    installed = true;
  }
  void TearDown() override {
    MonitorShutdown();
    if (installed) {
      EXPECT_EQ(0u, RunTool(kInstaller, "remove"));
    }
    EXPECT_FALSE(FileExists(InstalledLibraryPath()));
    MonitorLibraryTest::TearDown();
  }

  bool installed = false;
};

TEST_F(InstalledMonitorTest, SpoolerListsTheMonitorsPortsBesideTheLocalPortsAndTakesTheUpdateFlag) {
  key.PlantPort("LibAlpha");
  // Written by another process with "Update" raised, as the Ports window's refill does.
  ASSERT_EQ(0u, RunTool("pm_writeport.exe", std::string("\"") + kDefaultMonitorKeyPath + "\" LibDelta 2"));
  std::vector<std::string> ports = SpoolerPorts();
  EXPECT_TRUE(Lists(ports, "LibAlpha") && Lists(ports, "LibDelta"));
  EXPECT_TRUE(Lists(ports, "FILE:")) << "the local ports are listed too";
  EXPECT_FALSE(key.HasUpdate());
  // Level 2 is the local monitor's alone; the spooler's answer stays sound.
  std::vector<std::string> described = SpoolerPorts(2);
  EXPECT_TRUE(Lists(described, "FILE:") && !Lists(described, "LibAlpha"));
}

TEST_F(InstalledMonitorTest, CheckPortNameRefusesANameOnlyTheSpoolerKnows) {
  key.PlantPort("LibShipping");
  TestMonitorKey ownStore;  // this program's copy of the monitor reads a store without that port
  ASSERT_TRUE(MonitorInitialize(ownStore.path()));
  UINT message = 0;
  EXPECT_FALSE(CheckPortName("libshipping", &message));
  EXPECT_EQ(static_cast<UINT>(IDS_PORT_NAME_IN_USE), message);
  EXPECT_TRUE(CheckPortName("LibReceiving"));
}

TEST_F(InstalledMonitorTest, InstallingRemovingAndInstallingAgainLeavesAWorkingMonitor) {
  const std::string library = InstalledLibraryPath();
  WIN32_FILE_ATTRIBUTE_DATA before = {};
  ASSERT_TRUE(GetFileAttributesExA(library.c_str(), GetFileExInfoStandard, &before));

  key.PlantPort("LibKept");
  EXPECT_EQ(kNothingToDo, RunTool(kInstaller, "install"));
  WIN32_FILE_ATTRIBUTE_DATA after = {};
  ASSERT_TRUE(GetFileAttributesExA(library.c_str(), GetFileExInfoStandard, &after));
  EXPECT_EQ(0, CompareFileTime(&before.ftLastWriteTime, &after.ftLastWriteTime));
  EXPECT_TRUE(IsRegistered() && key.HasPort("LibKept"));
  // An update replaces the library only: the monitor keeps its ports.
  EXPECT_EQ(0u, RunTool(kInstaller, "update"));
  EXPECT_TRUE(Lists(SpoolerPorts(), "LibKept"));

  ASSERT_EQ(0u, RunTool(kInstaller, "remove"));
  EXPECT_FALSE(IsRegistered() || FileExists(library) || KeyExists(kDefaultMonitorKeyPath));
  EXPECT_FALSE(Lists(SpoolerPorts(), "LibKept"));
  EXPECT_EQ(kNothingToDo, RunTool(kInstaller, "remove"));
  EXPECT_EQ(kNothingToDo, RunTool(kInstaller, "update"));
  EXPECT_FALSE(FileExists(library));

  ASSERT_EQ(0u, RunTool(kInstaller, "install"));
  EXPECT_TRUE(IsRegistered() && FileExists(library));
  key.PlantPort("LibAgain");
  EXPECT_TRUE(Lists(SpoolerPorts(), "LibAgain"));
}

}  // namespace
