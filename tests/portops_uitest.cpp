#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>
#include <winspool.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/portops.h"
#include "base/scoped.h"
#include "dialogdriver.h"
#include "dlgutil/help.h"
#include "eventcapture.h"
#include "model/vtlpmmon.h"
#include "portdlg/resolve.h"
#include "resource.h"
#include "testregistry.h"
#include "testresolver.h"

namespace {

// Denies everyone setting values and creating subkeys under the monitor key while it lives, as an
// administrator does for a user who may only look; reading stays allowed.
class WritesDenied {
public:
  explicit WritesDenied(const char* keyPath) : path_(keyPath) {
    ScopedKey key;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, path_, 0, READ_CONTROL | WRITE_DAC, key.out()));
    DWORD size = 0;
    RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, nullptr, &size);
    saved_.resize(size);
    EXPECT_EQ(ERROR_SUCCESS, RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, saved_.data(), &size));
    char sddl[64];
    snprintf(sddl, sizeof sddl, "D:(D;;0x%lx;;;WD)(A;;KA;;;WD)",
             static_cast<unsigned long>(KEY_SET_VALUE | KEY_CREATE_SUB_KEY));
    PSECURITY_DESCRIPTOR deny = nullptr;
    EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &deny, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, deny));
    LocalFree(deny);
  }
  ~WritesDenied() {
    ScopedKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path_, 0, WRITE_DAC, key.out()) != ERROR_SUCCESS) return;
    EXPECT_EQ(ERROR_SUCCESS, RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, saved_.data()));
  }
  WritesDenied(const WritesDenied&) = delete;
  WritesDenied& operator=(const WritesDenied&) = delete;

private:
  const char* path_;
  std::vector<BYTE> saved_;
};

class PortOpsTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { LoadVnetLibrary(); }

  void SetUp() override { resolver.Add("printer7.example.com", "10.0.0.7"); }
  void TearDown() override {
    CloseHelp();
    MonitorShutdown();
  }

  void Start() { ASSERT_TRUE(MonitorInitialize(monitor.path())); }

  // The monitor starts with log level 2; then the stored level alone becomes 3, so the store
  // shows whether the operation wrote the monitor's options back.
  void StartWithLogLevelOnlyTheMonitorHolds() {
    monitor.SetDword("Options", "Logging Level", 2);
    Start();
    monitor.SetDword("Options", "Logging Level", 3);
  }

  // Runs an operation under a dialog script; answers its result and keeps its last-error code.
  BOOL Play(DialogScript& script, const std::function<BOOL()>& operation) {
    BOOL result = FALSE;
    script.Run([&] {
      result = operation();
      error = GetLastError();
      return INT_PTR{0};
    });
    return result;
  }
  BOOL Configure(DialogScript& script, const char* portName) {
    return Play(script, [&] { return MonitorConfigurePort(nullptr, nullptr, portName); });
  }

  std::vector<std::string> ListedPorts() {
    DWORD needed = 0;
    DWORD returned = 0;
    MonitorEnumPorts(nullptr, 1, nullptr, 0, &needed, &returned);
    std::vector<BYTE> buffer(needed + 1);
    EXPECT_TRUE(MonitorEnumPorts(nullptr, 1, buffer.data(), needed, &needed, &returned));
    std::vector<std::string> names;
    auto* records = reinterpret_cast<PORT_INFO_1A*>(buffer.data());
    for (DWORD i = 0; i < returned; ++i) names.push_back(records[i].pName);
    return names;
  }

  TestMonitorKey monitor;
  EventCapture events;
  MessageBoxRecorder boxes;
  TestResolver resolver;
  DWORD error = 0;
};

TEST_F(PortOpsTest, AddThenCancelChangesNothingNotEvenTheLoggingOptions) {
  StartWithLogLevelOnlyTheMonitorHolds();
  DialogScript script;
  script
      .Then([](HWND dialog) {
        SetText(dialog, IDC_PORT_TCP_NAME, "printer7.example.com");
        PostClick(dialog, IDC_PORT_OPTIONS);
      })
      .Then([](HWND options) { PostClick(options, IDC_OPT_LOGGING); })
      .Then([](HWND logging) {
        SetText(logging, IDC_LOG_LEVEL, "1");
        PostClick(logging, IDOK);
      })
      .Then([](HWND options) { PostClick(options, IDOK); })
      .Then([this](HWND dialog) {
        ASSERT_EQ(1u, boxes.boxes().size());  // the logging dialog took the change
        EXPECT_EQ("Logging Options Message", boxes.boxes()[0].caption);
        PostClick(dialog, IDCANCEL);
      });
  EXPECT_TRUE(Play(script, [] { return MonitorAddPort(nullptr, nullptr, kMonitorName); }));
  EXPECT_TRUE(ListedPorts().empty());
  EXPECT_FALSE(monitor.HasKey("Ports\\printer7"));
  EXPECT_EQ(2u, MonitorLogOptions.loggingLevel);
  EXPECT_EQ(3u, monitor.GetDword("Options", "Logging Level"));
}

TEST_F(PortOpsTest, AddThenOkStoresThePortListsItFirstAndStoresTheLoggingOptions) {
  monitor.PlantPort("older");
  StartWithLogLevelOnlyTheMonitorHolds();
  DialogScript script;
  script.Then([](HWND dialog) {
    SetText(dialog, IDC_PORT_TCP_NAME, "printer7.example.com");
    PostClick(dialog, IDOK);
  });
  EXPECT_TRUE(Play(script, [] { return MonitorAddPort(nullptr, nullptr, kMonitorName); }));
  EXPECT_EQ(kProtocolTcp, monitor.GetDword("Ports\\printer7", "Protocol"));
  EXPECT_EQ("printer7.example.com", monitor.GetString("Ports\\printer7", "TCP/IP Name"));
  EXPECT_EQ((std::vector<std::string>{"printer7", "older"}), ListedPorts());
  EXPECT_EQ(2u, monitor.GetDword("Options", "Logging Level"));  // written back unchanged
}

TEST_F(PortOpsTest, ConfigureWithoutRenameRewritesTheKeyInPlace) {
  monitor.PlantPort("alpha");
  monitor.SetString("Ports\\alpha", "TCP/IP Address", "10.0.0.5");
  monitor.SetString("Ports\\alpha", "Note", "kept");  // survives only if the key is never deleted
  Start();
  DialogScript script;
  script.Then([](HWND dialog) {
    EXPECT_EQ("10.0.0.5", ControlText(dialog, IDC_PORT_TCP_ADDRESS));
    SetText(dialog, IDC_PORT_TCP_ADDRESS, "10.0.0.6");
    PostClick(dialog, IDOK);
  });
  EXPECT_TRUE(Configure(script, "alpha"));
  EXPECT_EQ("10.0.0.6", monitor.GetString("Ports\\alpha", "TCP/IP Address"));
  EXPECT_EQ("kept", monitor.GetString("Ports\\alpha", "Note"));
}

// A stored port name with a space at its end is trimmed on OK: the port is renamed.
TEST_F(PortOpsTest, RenameLeavesOnlyTheNewKeyWithEverySetting) {
  const std::string old = "Ports\\padded ";
  monitor.PlantPort("padded ", kProtocolVnet);
  monitor.SetString(old, "VTLnet Name", "prn20");
  monitor.SetString(old, "Banner", "True");
  monitor.SetString(old, "Set Banner Tray", "True");
  monitor.SetDword(old, "Banner Tray Number", 3);
  monitor.SetString(old, "Set Input Tray", "True");
  monitor.SetDword(old, "Input Tray Number", 2);
  Start();
  DialogScript script;
  script.Then([](HWND dialog) { PostClick(dialog, IDOK); });
  EXPECT_TRUE(Configure(script, "padded "));

  EXPECT_FALSE(monitor.HasKey(old));
  EXPECT_EQ(kProtocolVnet, monitor.GetDword("Ports\\padded", "Protocol"));
  EXPECT_EQ(3u, monitor.GetDword("Ports\\padded", "Banner Tray Number"));
  EXPECT_EQ(2u, monitor.GetDword("Ports\\padded", "Input Tray Number"));
  for (const char* name : {"Banner", "Set Banner Tray", "Set Input Tray"}) {
    EXPECT_EQ("True", monitor.GetString("Ports\\padded", name)) << name;
  }
  EXPECT_EQ("prn20", monitor.GetString("Ports\\padded", "VTLnet Name"));
  EXPECT_EQ(std::vector<std::string>{"padded"}, ListedPorts());
}

// Under a volatile "Ports" key the registry refuses to create the renamed port's lasting key.
TEST_F(PortOpsTest, FailedWriteDuringRenameKeepsTheOldKey) {
  {
    ScopedKey ports;
    ScopedKey port;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, monitor.Below("Ports").c_str(), 0, nullptr,
                                             REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, ports.out(), nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(ports.get(), "padded ", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                                             nullptr, port.out(), nullptr));
  }
  monitor.PlantPort("padded ");
  monitor.SetString("Ports\\padded ", "TCP/IP Address", "10.0.0.5");
  Start();
  DialogScript script;
  script.Then([](HWND dialog) { PostClick(dialog, IDOK); });
  EXPECT_FALSE(Configure(script, "padded "));
  EXPECT_EQ(static_cast<DWORD>(ERROR_CHILD_MUST_BE_VOLATILE), error);
  EXPECT_EQ("10.0.0.5", monitor.GetString("Ports\\padded ", "TCP/IP Address"));
  EXPECT_FALSE(monitor.HasKey("Ports\\padded"));
}

TEST_F(PortOpsTest, DeleteRemovesKeyAndListEntryAndLeavesUnlistedPortsAlone) {
  monitor.PlantPort("alpha");
  monitor.PlantPort("beta");
  Start();
  EXPECT_TRUE(MonitorDeletePort(nullptr, nullptr, "alpha"));
  EXPECT_FALSE(monitor.HasKey("Ports\\alpha"));
  EXPECT_EQ(std::vector<std::string>{"beta"}, ListedPorts());

  monitor.PlantPort("later");  // stored, but not in this process's list
  for (const char* name : {"later", "BETA"}) {
    EXPECT_FALSE(MonitorDeletePort(nullptr, nullptr, name)) << name;
    EXPECT_EQ(static_cast<DWORD>(ERROR_UNKNOWN_PORT), GetLastError()) << name;
  }
  EXPECT_TRUE(monitor.HasKey("Ports\\later"));
  EXPECT_TRUE(monitor.HasKey("Ports\\beta"));
}

TEST_F(PortOpsTest, UserWithoutWriteAccessIsToldAndSeesTheSettingsReadOnly) {
  monitor.PlantPort("alpha");
  monitor.SetString("Ports\\alpha", "TCP/IP Address", "10.0.0.5");
  Start();
  WritesDenied denied(monitor.path());

  DialogScript noDialog;  // any dialog would outlive this empty script and fail the test
  EXPECT_TRUE(Play(noDialog, [] { return MonitorAddPort(nullptr, nullptr, kMonitorName); }));
  ASSERT_EQ(1u, boxes.boxes().size());
  EXPECT_EQ("You are denied access to add a port.", boxes.boxes()[0].text);
  EXPECT_EQ("Access Denied", boxes.boxes()[0].caption);
  EXPECT_EQ(nullptr, boxes.boxes()[0].owner);
  EXPECT_EQ(static_cast<UINT>(MB_ICONINFORMATION), boxes.boxes()[0].style & MB_ICONMASK);

  boxes.Clear();
  DialogScript readOnly;
  readOnly.Then([this](HWND dialog) {
    ASSERT_EQ(1u, boxes.boxes().size());
    EXPECT_EQ("You are denied access to configure the port. You will be able to view the settings.",
              boxes.boxes()[0].text);
    EXPECT_EQ("10.0.0.5", ControlText(dialog, IDC_PORT_TCP_ADDRESS));
    EXPECT_FALSE(IsControlEnabled(dialog, IDC_PORT_TCP_ADDRESS) || IsControlEnabled(dialog, IDC_PORT_VNET));
    PostClick(dialog, IDOK);
  });
  EXPECT_FALSE(Configure(readOnly, "alpha"));  // the store refuses the writes
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), error);
  EXPECT_EQ("10.0.0.5", monitor.GetString("Ports\\alpha", "TCP/IP Address"));
  EXPECT_FALSE(monitor.HasValue("Ports\\alpha", "TCP/IP Name"));
}

}  // namespace
