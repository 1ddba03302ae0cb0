// The monitor library as the print subsystem uses it, the port UI library and the tools. Under the
// monitor's real key and the prefix's system directory, so these run one at a time.
#include <gtest/gtest.h>

#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "base/scoped.h"
#include "dialogdriver.h"
#include "model/portlist.h"
#include "model/store.h"
#include "resource.h"
#include "testregistry.h"
#include "xcv/xcv.h"

namespace {

constexpr char kInstaller[] = "vtlpminst.exe";
constexpr DWORD kNothingToDo = 2;

std::string BuiltLibraryPath(const char* name = "vtlpmmw4.dll") {
  char path[MAX_PATH];
  std::string program(path, GetModuleFileNameA(nullptr, path, sizeof path));
  return program.substr(0, program.find_last_of('\\') + 1) + name;
}

std::string InstalledLibraryPath(const char* name = "vtlpmmw4.dll") {
  char path[MAX_PATH];
  return std::string(path, GetSystemDirectoryA(path, sizeof path)) + "\\" + name;
}

bool KeyExists(const std::string& path) {
  ScopedKey key;
  return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key.out()) == ERROR_SUCCESS;
}

bool SpoolerLists(const wchar_t* name) {
  DWORD needed = 0, count = 0;
  EnumPortsW(nullptr, 1, nullptr, 0, &needed, &count);
  std::vector<BYTE> buffer(needed + 1);
  EXPECT_TRUE(EnumPortsW(nullptr, 1, buffer.data(), needed, &needed, &count)) << GetLastError();
  const auto* ports = reinterpret_cast<PORT_INFO_1W*>(buffer.data());
  return std::any_of(ports, ports + count, [&](const PORT_INFO_1W& port) { return !wcscmp(port.pName, name); });
}

// Every key and value beneath the key, with types and data, in the registry's order.
std::string KeyTree(HKEY parent, const std::string& path) {
  ScopedKey key;
  if (RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ, key.out())) return "(none)";
  std::string tree = "[" + path + "]\n";
  char name[256];
  BYTE data[512];
  DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
  for (DWORD i = 0; !RegEnumValueA(key.get(), i, name, &nameSize, nullptr, &type, data, &dataSize);
       ++i, nameSize = sizeof name, dataSize = sizeof data) {
    tree += std::string(name) + ":" + std::to_string(type) + "=" +
            std::string(reinterpret_cast<char*>(data), dataSize) + "\n";
  }
  for (DWORD i = 0;
       nameSize = sizeof name, !RegEnumKeyExA(key.get(), i, name, &nameSize, nullptr, nullptr, nullptr, nullptr); ++i) {
    tree += KeyTree(key.get(), name);
  }
  return tree;
}

std::string TempPath(const char* name) {
  char directory[MAX_PATH];
  return std::string(directory, GetTempPathA(sizeof directory, directory)) + name;
}

std::string FileText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

std::string PortPath(const std::string& name) {
  return std::string(kDefaultMonitorKeyPath) + "\\Ports\\" + name;
}

void PlantPort(const std::string& name) {
  DWORD protocol = kProtocolTcp;
  ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueA(HKEY_LOCAL_MACHINE, PortPath(name).c_str(), "Protocol", REG_DWORD, &protocol,
                                           sizeof protocol));
}

class MonitorLibraryTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_FALSE(KeyExists(kDefaultMonitorKeyPath)) << "the monitor is installed here already: vtlpminst remove";
    ownsKey = true;
  }
  void TearDown() override {
    Unload();
    if (ownsKey && !RegDeleteTreeA(HKEY_LOCAL_MACHINE, kDefaultMonitorKeyPath))
      RegDeleteKeyA(HKEY_LOCAL_MACHINE, kDefaultMonitorKeyPath);
  }

  void Load() {
    library = LoadLibraryA(BuiltLibraryPath().c_str());
    ASSERT_NE(nullptr, library) << GetLastError();
    auto initialize = reinterpret_cast<LPMONITOR2(WINAPI*)(PMONITORINIT, PHANDLE)>(
        reinterpret_cast<void*>(GetProcAddress(library, "InitializePrintMonitor2")));
    ASSERT_NE(nullptr, initialize);
    MONITORINIT init = {sizeof init, nullptr, nullptr, nullptr, /*bLocal*/ TRUE, nullptr};
    table = initialize(&init, &monitor);
    ASSERT_NE(nullptr, table) << GetLastError();
  }
  void Unload() {
    if (table) table->pfnShutdown(monitor);
    if (library) FreeLibrary(library);
    table = nullptr, library = nullptr;
  }

  BOOL Enumerate(BYTE* buffer, DWORD size, DWORD* needed, DWORD* returned, DWORD level = 1) {
    return table->pfnEnumPorts(monitor, nullptr, level, buffer, size, needed, returned);
  }
  DWORD PortCount() {
    DWORD needed = 0, count = 0;
    Enumerate(nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed);
    EXPECT_TRUE(Enumerate(buffer.data(), needed, &needed, &count)) << GetLastError();
    return count;
  }

  DWORD Xcv(const wchar_t* command, const std::wstring& input, ACCESS_MASK access = SERVER_ACCESS_ADMINISTER) {
    HANDLE xcv = nullptr;
    if (!table->pfnXcvOpenPort(monitor, L"", access, &xcv)) return GetLastError();
    DWORD needed = 0, size = static_cast<DWORD>((input.size() + 1) * sizeof(wchar_t));
    DWORD status = table->pfnXcvDataPort(xcv, command, reinterpret_cast<BYTE*>(const_cast<wchar_t*>(input.c_str())),
                                         size, nullptr, 0, &needed);
    table->pfnXcvClosePort(xcv);
    return status;
  }

  bool ownsKey = false;
  HMODULE library = nullptr;
  LPMONITOR2 table = nullptr;
  HANDLE monitor = nullptr;
};

TEST_F(MonitorLibraryTest, EntryPointsServeTheStoreAsTheSpoolerCallsThem) {
  for (const char* name : {"LibAlpha", "LibBeta", "P?rt"}) PlantPort(name);
  ASSERT_NO_FATAL_FAILURE(Load());
  // Every failure sets its own code: a stale one below 1900 would survive the normalisation.
  auto codeOf = [](auto call) {
    SetLastError(ERROR_FILE_EXISTS);
    return call() ? DWORD{0} : GetLastError();
  };
  const DWORD size = 3 * sizeof(PORT_INFO_1W) + sizeof L"P?rt" + sizeof L"LibBeta" + sizeof L"LibAlpha";
  DWORD needed = 0, returned = 0xBEEF;
  std::vector<BYTE> buffer(size + 1, 0xEE);
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER),
            codeOf([&] { return Enumerate(buffer.data(), size - 1, &needed, &returned); }));
  EXPECT_EQ(size, needed);
  EXPECT_EQ(std::vector<BYTE>(size + 1, 0xEE), buffer);
  ASSERT_TRUE(Enumerate(buffer.data(), size, &needed, &returned) && returned == 3);
  auto* records = reinterpret_cast<PORT_INFO_1W*>(buffer.data());
  // One byte more than needed: the names move down to even addresses rather than sit askew.
  ASSERT_TRUE(Enumerate(buffer.data(), size + 1, &needed, &returned));
  for (DWORD i = 0; i < 3; ++i) EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(records[i].pName) % 2) << i;

  HANDLE port = nullptr;
  ASSERT_TRUE(table->pfnOpenPort(monitor, const_cast<LPWSTR>(L"LibBeta"), &port) && table->pfnClosePort(port));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_LEVEL),
            codeOf([&] { return Enumerate(buffer.data(), size, &needed, &returned, 3); }));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER),
            codeOf([&] { return Enumerate(nullptr, 8, &needed, &needed); }));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE),
            codeOf([&] { return table->pfnXcvOpenPort(nullptr, L"", SERVER_ACCESS_ADMINISTER, &port); }));
  // Converted loosely, U+4E00 would become "?" and a full-width "L" a plain one.
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_NAME),
            codeOf([&] { return table->pfnOpenPort(monitor, const_cast<LPWSTR>(L"P\u4E00rt"), &port); }));
  EXPECT_NE(0u, Xcv(kXcvDeletePort, L"\uFF2CibAlpha"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), Xcv(kXcvDeletePort, L"P?rt", SERVER_ACCESS_ENUMERATE));
  EXPECT_TRUE(KeyExists(PortPath("P?rt")) && KeyExists(PortPath("LibAlpha")));
  // No dialog runs in the spooler's process: the print system goes to the port UI library.
  EXPECT_TRUE(!table->pfnAddPort && !table->pfnConfigurePort && !table->pfnDeletePort);

  // The shutdown answers no more and releases the VTLnet library itself, not DllMain under the loader lock.
  for (int cycle = 0; cycle < 10; ++cycle) {
    table->pfnShutdown(monitor);
    EXPECT_EQ(nullptr, GetModuleHandleA("vnetw")) << cycle;
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_READY), codeOf([&] { return Enumerate(nullptr, 0, &needed, &needed); }));
    table = nullptr;  // shut down already
    Unload();
    EXPECT_EQ(nullptr, GetModuleHandleA(BuiltLibraryPath().c_str())) << cycle;
    ASSERT_NO_FATAL_FAILURE(Load());
    EXPECT_NE(nullptr, GetModuleHandleA("vnetw")) << cycle;  // bound at initialisation, from beside the library
    EXPECT_EQ(3u, PortCount()) << cycle;
  }
}

// Spooler threads enumerate and delete while another stores new ports and raises "Update". Every
// enumeration hands out whole records: names terminated inside the buffer that are planted ports.
TEST_F(MonitorLibraryTest, EntryPointsStayConsistentUnderManyThreads) {
  for (int i = 0; i < 40; ++i) PlantPort("Lib" + std::to_string(i));
  ASSERT_NO_FATAL_FAILURE(Load());
  std::atomic<int> broken{0};
  auto enumerate = [&] {
    for (int round = 0; round < 60; ++round) {
      DWORD needed = 0, count = 0;
      Enumerate(nullptr, 0, &needed, &count);
      std::vector<BYTE> buffer(needed);
      if (!Enumerate(buffer.data(), needed, &needed, &count)) continue;  // grown meanwhile
      const auto* end = reinterpret_cast<const WCHAR*>(buffer.data() + buffer.size());  // names are packed from the end
      for (DWORD i = 0; i < count; ++i) {
        const WCHAR* name = reinterpret_cast<PORT_INFO_1W*>(buffer.data())[i].pName;
        bool inside = name >= reinterpret_cast<const WCHAR*>(buffer.data()) && name < end &&
                      wcsnlen(name, end - name) < size_t(end - name);
        broken += !inside || wcsncmp(name, L"Lib", 3) != 0;
      }
    }
  };
  auto remove = [&] { for (int i = 0; i < 40; i += 2) Xcv(kXcvDeletePort, L"Lib" + std::to_wstring(i)); };
  auto store = [&] {
    for (int i = 0; i < 40; ++i) PlantPort("LibNew" + std::to_string(i)), StoreSetUpdate(kDefaultMonitorKeyPath);
  };
  std::thread threads[] = {std::thread(enumerate), std::thread(enumerate), std::thread(enumerate),
                           std::thread(remove), std::thread(store)};
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(0, broken.load());
  StoreSetUpdate(kDefaultMonitorKeyPath);
  EXPECT_EQ(60u, PortCount());  // 20 of the first 40 deleted, 40 new
}

// Installed, the spooler loads the library of its own kind from the system directory whenever it enumerates.
class InstalledMonitorTest : public MonitorLibraryTest {
protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(MonitorLibraryTest::SetUp());
    ASSERT_EQ(0u, RunTool(kInstaller, "install"));
    installed = true;
  }
  void TearDown() override {
    EXPECT_TRUE(!installed || RunTool(kInstaller, "remove") == 0);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(InstalledLibraryPath().c_str()));
    WIN32_FIND_DATAA setAside;  // a copy an update renamed aside goes with the rest
    EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFileA((InstalledLibraryPath() + ".old-*").c_str(), &setAside));
    MonitorLibraryTest::TearDown();
  }

  bool installed = false;
};

// The Ports tab's dialogs come from vtlpmui.dll and reach the store through Xcv; the logging
// options another administrator changed while a dialog was open stay.
TEST_F(InstalledMonitorTest, PortsTabDialogsComeFromThePortUiAndWriteOnlyWhatTheUserChanged) {
  MessageBoxRecorder boxes;
  EXPECT_EQ(TRUE, DialogScript().Then([](HWND dialog) {
    SetText(dialog, IDC_PORT_NAME_EDIT, "LibUi");
    SetText(dialog, IDC_PORT_TCP_ADDRESS, "10.0.0.9");
    PostClick(dialog, IDOK);
  }).Run([] { return AddPortW(nullptr, nullptr, const_cast<LPWSTR>(L"Vantrel Pressmark Printer")); }));
  const std::string options = std::string(kDefaultMonitorKeyPath) + "\\Options";
  const DWORD level = 2;
  EXPECT_EQ(TRUE, DialogScript().Then([&](HWND dialog) {
    EXPECT_EQ("10.0.0.9", ControlText(dialog, IDC_PORT_TCP_ADDRESS));
    SetText(dialog, IDC_PORT_TCP_ADDRESS, "10.0.0.10");
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, options.c_str(), "Logging Level", REG_DWORD, &level, sizeof level);
    PostClick(dialog, IDOK);
  }).Run([] { return ConfigurePortW(nullptr, nullptr, const_cast<LPWSTR>(L"LibUi")); }));
  EXPECT_NE(std::string::npos, KeyTree(HKEY_LOCAL_MACHINE, options).find(std::string("Logging Level:4=\x02", 17)));
  EXPECT_NE(std::string::npos, KeyTree(HKEY_LOCAL_MACHINE, kDefaultMonitorKeyPath).find("TCP/IP Address:1=10.0.0.10"));
  EXPECT_TRUE(DeletePortW(nullptr, nullptr, const_cast<LPWSTR>(L"LibUi")));
  EXPECT_FALSE(KeyExists(PortPath("LibUi")));
  EXPECT_TRUE(boxes.boxes().empty()) << boxes.boxes()[0].text;
}

// Every setting travels: an export, every port deleted and the options changed, then an import
// gives back the same store; an import with one bad section of three stores nothing and names it.
TEST_F(InstalledMonitorTest, ExportAndImportCarryEverySettingAndARefusedImportStoresNothing) {
  ASSERT_EQ(0u, RunTool("vtlpmport.exe", "add LibUi --tcp --tcp-address 10.0.0.10 --banner yes --banner-tray 0 "
                                         "--output-tray 4 --tcp-port 515 --lpr-queue \"lp 1\" --send-timeout 30"));
  ASSERT_EQ(0u, RunTool("vtlpmport.exe", "add LibNode --vtlnet --vtlnet-address 2.17 "
                                         "--vtllaser yes --lpr-queue False"));
  ASSERT_EQ(0u, RunTool("vtlpmport.exe", "options --logging-level 3 --bubble yes --trace-file C:\\pm-trace.log"));
  const std::string stored = KeyTree(HKEY_LOCAL_MACHINE, kDefaultMonitorKeyPath);
  EXPECT_NE(std::string::npos, stored.find("Set Banner Tray:1=True")) << stored;  // --banner-tray sets its flag
  std::string file = TempPath("vtlpmport-export.txt");
  ASSERT_EQ(0u, RunTool("vtlpmport.exe", "export \"" + file + "\""));
  EXPECT_EQ(0u, RunTool("vtlpmport.exe", "delete LibUi") + RunTool("vtlpmport.exe", "delete LibNode"));
  ASSERT_EQ(0u, RunTool("vtlpmport.exe", "options --logging-level 0 --bubble no --trace-file \"\""));
  EXPECT_EQ(std::string::npos, KeyTree(HKEY_LOCAL_MACHINE, kDefaultMonitorKeyPath).find("Trace File"));
  EXPECT_EQ(0u, RunTool("vtlpmport.exe", "import \"" + file + "\""));
  EXPECT_EQ(stored, KeyTree(HKEY_LOCAL_MACHINE, kDefaultMonitorKeyPath));

  std::ofstream(file) << "Version=1\n[Ports\\LibNew]\nProtocol=2\nTCP/IP Address=10.0.0.1\n[Ports\\libui]\n"
                         "TCP/IP Address=999.1.1.1\n[Options]\nLogging Level=1\n";
  std::string out;
  EXPECT_EQ(1u, RunTool("vtlpmport.exe", "import \"" + file + "\"", &out));
  EXPECT_NE(std::string::npos, out.find("[Ports\\libui]")) << out;
  EXPECT_EQ(stored, KeyTree(HKEY_LOCAL_MACHINE, kDefaultMonitorKeyPath));
  DeleteFileA(file.c_str());
}

// One odd value stored by hand: every port is still listed and exported, and JSON types follow the setting.
TEST_F(InstalledMonitorTest, OneOddStoredValueLeavesEveryPortListedAndExported) {
  ASSERT_EQ(0u, RunTool("vtlpmport.exe", "add LibUi --tcp --tcp-address 10.0.0.10"));
  ASSERT_EQ(0u, RunTool("vtlpmport.exe", "add LibNode --vtlnet --vtlnet-address 2.17 --vtllaser yes --lpr-queue False"));
  ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueA(HKEY_LOCAL_MACHINE, PortPath("LibUi").c_str(), "TCP/IP Name", REG_SZ,
                                           "odd\tname", 9));
  std::string out;
  ASSERT_EQ(0u, RunTool("vtlpmport.exe", "list --json", &out));
  for (const char* shown : {"\"odd\\u0009name\"", "\"LPR Queue\": \"False\"", "\"VTLlaser TCP/IP\": true", "LibNode"})
    EXPECT_NE(std::string::npos, out.find(shown)) << shown << "\n" << out;
  std::string file = TempPath("vtlpmport-export.txt");
  ASSERT_EQ(0u, RunTool("vtlpmport.exe", "export \"" + file + "\""));
  out = FileText(file);
  EXPECT_TRUE(out.find("TCP/IP Name=odd<09>name") != out.npos && out.find("[Ports\\LibNode]") != out.npos) << out;
  DeleteFileA(file.c_str());
}

// The spooler lists ports raised with "Update"; the installer installs the companions beside the
// library, replaces the library while it is loaded and keeps the ports, and removes everything.
TEST_F(InstalledMonitorTest, InstallerUpdatesInPlaceKeepingThePortsAndRemovesEverything) {
  PlantPort("LibKept");
  ASSERT_EQ(0u, RunTool("pm_writeport.exe",
                        std::string("\"") + kDefaultMonitorKeyPath + "\" LibDelta 2"));  // raises "Update"
  EXPECT_TRUE(SpoolerLists(L"LibDelta") && SpoolerLists(L"LibKept") && SpoolerLists(L"FILE:"));
  EXPECT_EQ(kNothingToDo, RunTool(kInstaller, "install"));
  for (const char* companion : {"vnetw.dll", "vtlpmui.dll"}) {  // beside the library, which loads them from there
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(InstalledLibraryPath(companion).c_str())) << companion;
  }
  // An update replaces the library only, even while loaded as in the spooler: the ports stay.
  HMODULE held = LoadLibraryA(InstalledLibraryPath().c_str());
  ASSERT_NE(nullptr, held);
  EXPECT_EQ(0u, RunTool(kInstaller, "update"));
  FreeLibrary(held);
  EXPECT_TRUE(SpoolerLists(L"LibKept"));

  ASSERT_EQ(0u, RunTool(kInstaller, "remove"));
  EXPECT_FALSE(KeyExists(kDefaultMonitorKeyPath) || SpoolerLists(L"LibKept"));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(InstalledLibraryPath("vnetw.dll").c_str()));
  installed = false;
  EXPECT_TRUE(RunTool(kInstaller, "remove") == kNothingToDo && RunTool(kInstaller, "update") == kNothingToDo);
}

}  // namespace
