// The monitor library as the print subsystem uses it: its entry points called directly, the
// spooler's view of its ports once installed, its event messages and its installer. These tests
// work under the monitor's real key and install into the prefix's system directory, so they run
// one at a time with the other window tests, and leave the prefix as they found it.
#include <gtest/gtest.h>

#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "admin/xcv.h"
#include "diag/eventlog.h"
#include "dialogdriver.h"
#include "model/portentry.h"
#include "model/portlist.h"
#include "model/store.h"
#include "resource.h"
#include "rules/validate.h"
#include "testregistry.h"

namespace {

constexpr char kInstaller[] = "vtlpminst.exe";
constexpr DWORD kNothingToDo = 2;

std::string BuiltLibraryPath() {
  char path[MAX_PATH];
  std::string program(path, GetModuleFileNameA(nullptr, path, sizeof path));
  return program.substr(0, program.find_last_of('\\') + 1) + "vtlpmmw4.dll";
}

std::string InstalledLibraryPath(const char* name = "vtlpmmw4.dll") {
  char path[MAX_PATH];
  return std::string(path, GetSystemDirectoryA(path, sizeof path)) + "\\" + name;
}

bool KeyExists(const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key)) return false;
  RegCloseKey(key);
  return true;
}

bool SpoolerLists(const char* name) {
  DWORD needed = 0;
  DWORD count = 0;
  EnumPortsA(nullptr, 1, nullptr, 0, &needed, &count);
  std::vector<BYTE> buffer(needed + 1);
  EXPECT_TRUE(EnumPortsA(nullptr, 1, buffer.data(), needed, &needed, &count)) << GetLastError();
  for (DWORD i = 0; i < count; ++i) {
    if (!strcmp(reinterpret_cast<PORT_INFO_1A*>(buffer.data())[i].pName, name)) return true;
  }
  return false;
}

// The monitor the spooler names for the port in its level-2 list; empty when it lists no such port.
std::wstring SpoolerMonitorOf(const wchar_t* name) {
  DWORD needed = 0;
  DWORD count = 0;
  EnumPortsW(nullptr, 2, nullptr, 0, &needed, &count);
  std::vector<BYTE> buffer(needed + 1);
  EXPECT_TRUE(EnumPortsW(nullptr, 2, buffer.data(), needed, &needed, &count)) << GetLastError();
  for (DWORD i = 0; i < count; ++i) {
    const PORT_INFO_2W& port = reinterpret_cast<PORT_INFO_2W*>(buffer.data())[i];
    if (!wcscmp(port.pPortName, name)) return port.pMonitorName ? port.pMonitorName : L"(none)";
  }
  return std::wstring();
}

// Every key and value beneath the key, with types and data, in the registry's order.
std::string KeyTree(HKEY parent, const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ, &key)) return "(none)";
  std::string tree = "[" + path + "]\n";
  char name[256];
  BYTE data[512];
  for (DWORD i = 0;; ++i) {
    DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
    if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data, &dataSize)) break;
    tree += std::string(name) + ":" + std::to_string(type) + "=" + std::string(reinterpret_cast<char*>(data), dataSize) + "\n";
  }
  for (DWORD i = 0;; ++i) {
    DWORD nameSize = sizeof name;
    if (RegEnumKeyExA(key, i, name, &nameSize, nullptr, nullptr, nullptr, nullptr)) break;
    tree += KeyTree(key, name);
  }
  RegCloseKey(key);
  return tree;
}

std::string PortPath(const std::string& name) {
  return std::string(kDefaultMonitorKeyPath) + "\\Ports\\" + name;
}

void PlantPort(const std::string& name) {
  DWORD protocol = kProtocolTcp;
  ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueA(HKEY_LOCAL_MACHINE, PortPath(name).c_str(), "Protocol", REG_DWORD,
                                           &protocol, sizeof protocol));
}

class MonitorLibraryTest : public ::testing::Test {
protected:
  // The test prefix has no monitor installed, so the monitor's key is the test's own.
  void SetUp() override {
    ASSERT_FALSE(KeyExists(kDefaultMonitorKeyPath))
        << "this prefix has the monitor installed already; remove it with vtlpminst remove";
    ownsKey = true;
  }
  void TearDown() override {
    Unload();
    if (ownsKey) RegDeleteTreeA(HKEY_LOCAL_MACHINE, kDefaultMonitorKeyPath);
    if (ownsKey) RegDeleteKeyA(HKEY_LOCAL_MACHINE, kDefaultMonitorKeyPath);
  }

  // Loads the library of this build, as the spooler does, and initialises it.
  void Load() {
    library = LoadLibraryA(BuiltLibraryPath().c_str());
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
  // Shuts the monitor down and unloads it, as the spooler does.
  void Unload() {
    if (table) table->pfnShutdown(monitor);
    table = nullptr;
    if (library) FreeLibrary(library);
    library = nullptr;
  }

  BOOL Enumerate(BYTE* buffer, DWORD size, DWORD* needed, DWORD* returned, DWORD level = 1) {
    return table->pfnEnumPorts(monitor, nullptr, level, buffer, size, needed, returned);
  }
  std::vector<std::wstring> Ports() {
    DWORD needed = 0;
    DWORD count = 0;
    Enumerate(nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed + 1);
    EXPECT_TRUE(Enumerate(buffer.data(), needed, &needed, &count)) << GetLastError();
    std::vector<std::wstring> names;
    for (DWORD i = 0; i < count; ++i) names.push_back(reinterpret_cast<PORT_INFO_1W*>(buffer.data())[i].pName);
    return names;
  }

  // An Xcv command through the library's own entry points; the text goes with its NUL, none when empty.
  DWORD Xcv(const wchar_t* command, const std::wstring& input, std::wstring* output = nullptr,
            ACCESS_MASK access = SERVER_ACCESS_ADMINISTER) {
    HANDLE xcv = nullptr;
    if (!table->pfnXcvOpenPort(monitor, L"", access, &xcv)) return GetLastError();
    std::vector<BYTE> answer(4096);
    DWORD needed = 0;
    DWORD size = input.empty() ? 0 : static_cast<DWORD>((input.size() + 1) * sizeof(wchar_t));
    DWORD status = table->pfnXcvDataPort(xcv, command, reinterpret_cast<BYTE*>(const_cast<wchar_t*>(input.c_str())),
                                         size, answer.data(), static_cast<DWORD>(answer.size()), &needed);
    table->pfnXcvClosePort(xcv);
    if (output && status == ERROR_SUCCESS) output->assign(reinterpret_cast<const wchar_t*>(answer.data()));
    return status;
  }

  bool ownsKey = false;
  HMODULE library = nullptr;
  LPMONITOR2(WINAPI* initialize)(PMONITORINIT, PHANDLE) = nullptr;
  LPMONITOR2 table = nullptr;
  HANDLE monitor = nullptr;
};

TEST_F(MonitorLibraryTest, EntryPointsServeTheStoreAsTheSpoolerCallsThem) {
  for (const char* name : {"LibAlpha", "LibBeta", "P?rt"}) PlantPort(name);
  ASSERT_NO_FATAL_FAILURE(Load());
  // The list runs in the reverse of the store's order: P?rt, LibBeta, LibAlpha.
  const DWORD size = 3 * sizeof(PORT_INFO_1W) + sizeof L"P?rt" + sizeof L"LibBeta" + sizeof L"LibAlpha";
  DWORD needed = 0;
  DWORD returned = 0xBEEF;
  std::vector<BYTE> buffer(size + 1, 0xEE);
  EXPECT_FALSE(Enumerate(buffer.data(), size - 1, &needed, &returned));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  EXPECT_EQ(size, needed);
  EXPECT_EQ(0xBEEFu, returned);
  EXPECT_EQ(std::vector<BYTE>(size + 1, 0xEE), buffer);
  ASSERT_TRUE(Enumerate(buffer.data(), size, &needed, &returned));
  ASSERT_EQ(3u, returned);
  auto* records = reinterpret_cast<PORT_INFO_1W*>(buffer.data());
  EXPECT_EQ(std::wstring(L"P?rt LibBeta LibAlpha"),
            std::wstring(records[0].pName) + L" " + records[1].pName + L" " + records[2].pName);
  EXPECT_EQ(buffer.data() + size - sizeof L"P?rt", reinterpret_cast<BYTE*>(records[0].pName));
  EXPECT_EQ(buffer.data() + 3 * sizeof(PORT_INFO_1W), reinterpret_cast<BYTE*>(records[2].pName));
  // One byte more than needed: the names move down to even addresses rather than sit askew.
  ASSERT_TRUE(Enumerate(buffer.data(), size + 1, &needed, &returned));
  for (DWORD i = 0; i < 3; ++i) EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(records[i].pName) % 2) << i;
  EXPECT_EQ(std::wstring(L"LibAlpha"), records[2].pName);

  // Every failure sets its own code: a stale one below 1900 would survive the normalisation.
  auto codeOf = [](auto call) {
    SetLastError(ERROR_FILE_EXISTS);
    return call() ? DWORD{0} : GetLastError();
  };
  HANDLE port = nullptr;
  ASSERT_TRUE(table->pfnOpenPort(monitor, const_cast<LPWSTR>(L"LibBeta"), &port));
  EXPECT_TRUE(table->pfnClosePort(port));
  EXPECT_EQ(static_cast<DWORD>(ERROR_UNKNOWN_PORT), codeOf([&] { return table->pfnOpenPort(monitor, const_cast<LPWSTR>(L"libbeta"), &port); }));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_LEVEL),
            codeOf([&] { return Enumerate(buffer.data(), size + 1, &needed, &returned, 3); }));
  EXPECT_EQ(0u, returned);
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER),
            codeOf([&] { return Enumerate(nullptr, 8, &needed, &needed); }));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE),
            codeOf([&] { return table->pfnXcvOpenPort(nullptr, L"", SERVER_ACCESS_ADMINISTER, &port); }));
  // Converted loosely, U+4E00 would become "?" and a full-width "L" a plain one.
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_NAME),
            codeOf([&] { return table->pfnOpenPort(monitor, const_cast<LPWSTR>(L"P\u4E00rt"), &port); }));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_DATA), Xcv(kXcvDeletePort, L"P\u4E00rt"));
  EXPECT_NE(0u, Xcv(kXcvDeletePort, L"\uFF2CibAlpha"));
  EXPECT_TRUE(KeyExists(PortPath("P?rt")) && KeyExists(PortPath("LibAlpha")));
  EXPECT_EQ(0u, Xcv(kXcvDeletePort, L"P?rt"));

  table->pfnShutdown(monitor);
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_READY), codeOf([&] { return Enumerate(nullptr, 0, &needed, &needed); }));
  PlantPort("LibGamma");
  ASSERT_NO_FATAL_FAILURE(Initialize());
  EXPECT_EQ((std::vector<std::wstring>{L"LibGamma", L"LibBeta", L"LibAlpha"}), Ports());
}

TEST_F(MonitorLibraryTest, StandsBeingLoadedAndUnloadedManyTimes) {
  PlantPort("LibAlpha");
  for (int cycle = 0; cycle < 12; ++cycle) {
    SCOPED_TRACE(cycle);
    ASSERT_NO_FATAL_FAILURE(Load());
    EXPECT_NE(nullptr, GetModuleHandleA("vnetw"));  // bound at initialisation, from beside the library
    EXPECT_EQ(static_cast<size_t>(cycle + 1), Ports().size());
    PlantPort("LibPort" + std::to_string(cycle));
    Unload();  // the shutdown releases the VTLnet library: never DllMain, under the loader lock
    EXPECT_EQ(nullptr, GetModuleHandleA(BuiltLibraryPath().c_str()));
    EXPECT_EQ(nullptr, GetModuleHandleA("vnetw"));
  }
}

// Spooler threads at once: enumerating, opening and deleting through the entry points while others
// store new ports and raise "Update". Every enumeration hands out whole records: names that are
// terminated inside the buffer and are ports that were planted.
TEST_F(MonitorLibraryTest, EntryPointsStayConsistentUnderManyThreads) {
  for (int i = 0; i < 40; ++i) PlantPort("Lib" + std::to_string(i));
  ASSERT_NO_FATAL_FAILURE(Load());
  std::atomic<int> broken{0};
  auto enumerate = [&] {
    for (int round = 0; round < 60; ++round) {
      DWORD needed = 0;
      DWORD count = 0;
      Enumerate(nullptr, 0, &needed, &count);
      std::vector<BYTE> buffer(needed);
      if (!Enumerate(buffer.data(), needed, &needed, &count)) continue;  // grown meanwhile
      const BYTE* end = buffer.data() + buffer.size();  // names are packed from the end
      for (DWORD i = 0; i < count; ++i) {
        auto* name = reinterpret_cast<const BYTE*>(reinterpret_cast<PORT_INFO_1W*>(buffer.data())[i].pName);
        size_t room = (end - name) / sizeof(WCHAR);
        if (name < buffer.data() || name >= end || wcsnlen(reinterpret_cast<const WCHAR*>(name), room) == room ||
            wcsncmp(reinterpret_cast<const WCHAR*>(name), L"Lib", 3) != 0) {
          ++broken;
        }
      }
      HANDLE port = nullptr;
      if (table->pfnOpenPort(monitor, const_cast<LPWSTR>(L"Lib1"), &port)) table->pfnClosePort(port);
    }
  };
  auto remove = [&] {
    for (int i = 0; i < 40; i += 2) {
      Xcv(kXcvDeletePort, L"Lib" + std::to_wstring(i));
    }
  };
  auto store = [&] {
    for (int i = 0; i < 40; ++i) {
      PlantPort("LibNew" + std::to_string(i));
      StoreSetUpdate(kDefaultMonitorKeyPath);
    }
  };
  std::vector<std::thread> threads;
  for (auto* work : {&enumerate, &enumerate, &enumerate}) threads.emplace_back(*work);
  threads.emplace_back(remove);
  threads.emplace_back(store);
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(0, broken.load());
  StoreSetUpdate(kDefaultMonitorKeyPath);
  EXPECT_EQ(60u, Ports().size());  // 20 of the first 40 deleted, 40 new
}

// No dialog runs in the spooler's process: the print system is sent to the port UI library, which
// stands beside the monitor library, and a handle that may only read can ask for it.
TEST_F(MonitorLibraryTest, AddConfigureAndDeleteAreLeftToThePortUiLibrary) {
  ASSERT_NO_FATAL_FAILURE(Load());
  EXPECT_TRUE(!table->pfnAddPort && !table->pfnConfigurePort && !table->pfnDeletePort);
  std::wstring library;
  ASSERT_EQ(0u, Xcv(kXcvMonitorUi, L"", &library, SERVER_ACCESS_ENUMERATE));
  std::string built = BuiltLibraryPath();
  EXPECT_EQ(std::wstring(built.begin(), built.end() - strlen("vtlpmmw4.dll")) + L"vtlpmui.dll", library);
}

TEST_F(MonitorLibraryTest, MessageTableHoldsOneTextPerEventWithItsInsertionStrings) {
  HMODULE messages = LoadLibraryExA(BuiltLibraryPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(nullptr, messages);
  // Each event's text takes exactly as many insertion strings as the monitor reports with it.
  const std::pair<DWORD, int> events[] = {
      {EVT_INTERNAL_ERROR, 3}, {EVT_BAD_VALUE_TYPE, 2}, {EVT_BAD_BOOL_VALUE, 2}, {EVT_PORT_NOT_FOUND, 1}};
  for (const auto& [identifier, strings] : events) {
    char text[1024] = {};
    ASSERT_NE(0u, FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, messages, identifier,
                                 0, text, sizeof text, nullptr))
        << std::hex << identifier;
    const std::string raw = text;
    for (int i = 1; i <= strings + 1; ++i) {
      EXPECT_EQ(i <= strings, raw.find("%" + std::to_string(i)) != std::string::npos) << i << " in " << raw;
    }
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
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(InstalledLibraryPath().c_str()));
    WIN32_FIND_DATAA setAside;  // a copy an update renamed aside goes with the rest
    EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFileA((InstalledLibraryPath() + ".old-*").c_str(), &setAside));
    MonitorLibraryTest::TearDown();
  }

  bool installed = false;
};

TEST_F(InstalledMonitorTest, SpoolerListsTheMonitorsPortsBesideTheLocalPortsAndCheckPortNameRefusesThem) {
  PlantPort("LibAlpha");
  // Written by another process with "Update" raised, as the Ports window's refill does.
  ASSERT_EQ(0u, RunTool("pm_writeport.exe", std::string("\"") + kDefaultMonitorKeyPath + "\" LibDelta 2"));
  EXPECT_TRUE(SpoolerLists("LibAlpha") && SpoolerLists("LibDelta") && SpoolerLists("FILE:"));
  EXPECT_EQ(std::wstring(L"Vantrel Pressmark Printer"), SpoolerMonitorOf(L"LibAlpha"));
  EXPECT_NE(ERROR_SUCCESS,
            RegGetValueA(HKEY_LOCAL_MACHINE, kDefaultMonitorKeyPath, "Update", RRF_RT_ANY, nullptr, nullptr, nullptr));

  TestMonitorKey ownStore;  // this program's copy of the monitor reads a store without those ports
  ASSERT_TRUE(MonitorInitialize(ownStore.path()));
  UINT message = 0;
  EXPECT_FALSE(CheckPortName("libdelta", &message));
  EXPECT_EQ(static_cast<UINT>(IDS_PORT_NAME_IN_USE), message);
  EXPECT_TRUE(CheckPortName("LibReceiving"));
}

// Through the spooler's Xcv calls: a refusal carries the dialog's message id and stores nothing; an
// accepted port reaches the store; a handle opened without administer access may only read.
TEST_F(InstalledMonitorTest, XcvDataReachesTheMonitorsCommands) {
  auto xcv = [](ACCESS_MASK access, const wchar_t* command, const std::wstring& text, DWORD* status) {
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, access};
    HANDLE handle = nullptr;
    if (!OpenPrinterW(const_cast<LPWSTR>(L",XcvMonitor Vantrel Pressmark Printer"), &handle, &defaults)) return FALSE;
    DWORD needed = 0;
    BOOL done = XcvDataW(handle, command, reinterpret_cast<BYTE*>(const_cast<wchar_t*>(text.c_str())),
                         static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)), nullptr, 0, &needed, status);
    ClosePrinter(handle);
    return done;
  };
  DWORD status = 0;
  ASSERT_TRUE(xcv(SERVER_ACCESS_ADMINISTER, kXcvAddPort,
                  L"Version=1\n[Ports\\Lib\\Bad]\nProtocol=2\nTCP/IP Address=10.0.0.1\n", &status));
  EXPECT_EQ(XcvRefusal(IDS_PORT_NAME_BACKSLASH), status);
  EXPECT_FALSE(KeyExists(PortPath("Lib")));
  const std::wstring good = L"Version=1\n[Ports\\LibXcv]\nProtocol=2\nTCP/IP Address=10.0.0.1\n";
  ASSERT_TRUE(xcv(SERVER_ACCESS_ENUMERATE, kXcvAddPort, good, &status));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), status);
  ASSERT_TRUE(xcv(SERVER_ACCESS_ADMINISTER, kXcvAddPort, good, &status));
  EXPECT_EQ(0u, status);
  EXPECT_TRUE(KeyExists(PortPath("LibXcv")) && SpoolerLists("LibXcv"));
}

// vtlpmport goes through the spooler's Xcv calls: an export, every port deleted and the logging
// options changed, then an import gives back the same store, value for value.
TEST_F(InstalledMonitorTest, PortToolExportsAndImportsTheWholeStore) {
  const std::string add = "add LibTool --tcp --tcp-name localhost --banner yes --banner-tray 0 --output-tray 4";
  ASSERT_EQ(0u, RunTool("vtlpmport.exe", add));
  ASSERT_EQ(0u, RunTool("vtlpmport.exe", "add LibNode --vtlnet --vtlnet-address 2.17 --vtllaser yes"));
  ASSERT_EQ(0u, RunTool("vtlpmport.exe", "set LibNode --input-tray 2"));
  ASSERT_EQ(0u, RunTool("vtlpmport.exe", "options --logging-level 3 --bubble yes --trace-file C:\\pm-trace.log"));
  EXPECT_EQ(1u, RunTool("vtlpmport.exe", "add LibBad --tcp --tcp-address 999.1.1.1"));
  EXPECT_EQ(2u, RunTool("vtlpmport.exe", "add LibBad --colour red"));
  const std::string stored = KeyTree(HKEY_LOCAL_MACHINE, kDefaultMonitorKeyPath);
  ASSERT_NE(std::string::npos, stored.find("Output Tray Number:4=")) << stored;

  char directory[MAX_PATH];
  std::string file = std::string(directory, GetTempPathA(sizeof directory, directory)) + "vtlpmport-export.txt";
  ASSERT_EQ(0u, RunTool("vtlpmport.exe", "export \"" + file + "\""));
  for (const char* port : {"LibTool", "LibNode"}) EXPECT_EQ(0u, RunTool("vtlpmport.exe", std::string("delete ") + port));
  EXPECT_EQ(1u, RunTool("vtlpmport.exe", "delete LibNode"));
  ASSERT_EQ(0u, RunTool("vtlpmport.exe", "options --logging-level 0 --bubble no"));
  ASSERT_NE(stored, KeyTree(HKEY_LOCAL_MACHINE, kDefaultMonitorKeyPath));
  EXPECT_EQ(0u, RunTool("vtlpmport.exe", "import \"" + file + "\""));
  DeleteFileA(file.c_str());
  EXPECT_EQ(stored, KeyTree(HKEY_LOCAL_MACHINE, kDefaultMonitorKeyPath));
}

// The printer's Ports tab: the print system loads vtlpmui.dll here, its dialogs come from that
// library's resources, and what they accept reaches the store through the monitor's Xcv commands.
TEST_F(InstalledMonitorTest, AddConfigureAndDeletePortRunOurDialogsThroughThePortUiLibrary) {
  MessageBoxRecorder boxes;
  DialogScript add;
  add.Then([](HWND dialog) {
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(GetModuleHandleA("vtlpmui.dll")), GetWindowLongPtrA(dialog, GWLP_HINSTANCE));
    EXPECT_EQ("Add Port - Vantrel Pressmark Printer", WindowText(dialog));
    SetText(dialog, IDC_PORT_NAME_EDIT, "LibUi");
    SetText(dialog, IDC_PORT_TCP_ADDRESS, "10.0.0.9");
    PostClick(dialog, IDOK);
  });
  EXPECT_EQ(TRUE, add.Run([] { return AddPortW(nullptr, nullptr, const_cast<LPWSTR>(L"Vantrel Pressmark Printer")); }));
  EXPECT_NE(std::string::npos, KeyTree(HKEY_LOCAL_MACHINE, PortPath("LibUi")).find("TCP/IP Address:1=10.0.0.9"));

  DialogScript configure;
  configure.Then([](HWND dialog) {
    EXPECT_EQ("10.0.0.9", ControlText(dialog, IDC_PORT_TCP_ADDRESS));
    SetText(dialog, IDC_PORT_TCP_ADDRESS, "10.0.0.10");
    PostClick(dialog, IDOK);
  });
  EXPECT_EQ(TRUE, configure.Run([] { return ConfigurePortW(nullptr, nullptr, const_cast<LPWSTR>(L"LibUi")); }));
  EXPECT_NE(std::string::npos, KeyTree(HKEY_LOCAL_MACHINE, PortPath("LibUi")).find("TCP/IP Address:1=10.0.0.10"));
  DialogScript cancel;
  cancel.Then([](HWND dialog) { PostClick(dialog, IDCANCEL); });
  EXPECT_EQ(FALSE, cancel.Run([] { return ConfigurePortW(nullptr, nullptr, const_cast<LPWSTR>(L"LibUi")); }));

  EXPECT_TRUE(DeletePortW(nullptr, nullptr, const_cast<LPWSTR>(L"LibUi")));
  EXPECT_FALSE(KeyExists(PortPath("LibUi")));
  EXPECT_TRUE(boxes.boxes().empty()) << boxes.boxes()[0].text;
}

TEST_F(InstalledMonitorTest, InstallingRemovingAndInstallingAgainLeavesAWorkingMonitor) {
  PlantPort("LibKept");
  EXPECT_EQ(kNothingToDo, RunTool(kInstaller, "install"));
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(InstalledLibraryPath("vnetw.dll").c_str()));
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(InstalledLibraryPath("vtlpmui.dll").c_str()));
  // An update replaces the library only, even while a process holds it loaded as the spooler
  // does: the monitor keeps its ports.
  HMODULE held = LoadLibraryA(InstalledLibraryPath().c_str());
  ASSERT_NE(nullptr, held);
  EXPECT_EQ(0u, RunTool(kInstaller, "update"));
  FreeLibrary(held);
  EXPECT_TRUE(SpoolerLists("LibKept"));

  ASSERT_EQ(0u, RunTool(kInstaller, "remove"));
  EXPECT_FALSE(KeyExists(kDefaultMonitorKeyPath) || SpoolerLists("LibKept"));
  EXPECT_EQ(kNothingToDo, RunTool(kInstaller, "remove"));
  EXPECT_EQ(kNothingToDo, RunTool(kInstaller, "update"));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(InstalledLibraryPath().c_str()));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(InstalledLibraryPath("vnetw.dll").c_str()));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(InstalledLibraryPath("vtlpmui.dll").c_str()));

  ASSERT_EQ(0u, RunTool(kInstaller, "install"));
  PlantPort("LibAgain");
  EXPECT_TRUE(SpoolerLists("LibAgain"));
}

}  // namespace
