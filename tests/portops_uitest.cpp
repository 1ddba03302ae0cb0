#include <gtest/gtest.h>

#include <windows.h>
#include <winspool.h>

#include <functional>
#include <string>
#include <vector>

#include "app/portops.h"
#include "app/portswindow.h"
#include "app/startup.h"
#include "base/module.h"
#include "base/scoped.h"
#include "dialogdriver.h"
#include "eventcapture.h"
#include "model/portentry.h"
#include "model/portlist.h"
#include "names/resolve.h"
#include "resource.h"
#include "testregistry.h"
#include "testresolver.h"

namespace {

class PortOpsTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { LoadVnetLibrary(); }

  void SetUp() override { resolver.Add("printer7.example.com", "10.0.0.7"); }
  void TearDown() override { MonitorShutdown(); }

  void Start() { ASSERT_TRUE(MonitorInitialize(monitor.path())); }

  // Runs an operation under a dialog script; answers its result and keeps its last-error code.
  BOOL Play(DialogScript& script, const std::function<BOOL()>& operation) {
    BOOL result = FALSE;
    script.Run([&] { result = operation(); error = GetLastError(); return INT_PTR{0}; });
    return result;
  }
  BOOL Add(DialogScript& script) { return Play(script, [] { return MonitorAddPort(nullptr, nullptr, kMonitorName); }); }
  BOOL Configure(DialogScript& script, const char* portName) {
    return Play(script, [&] { return MonitorConfigurePort(nullptr, nullptr, portName); });
  }
  // A dialog step: types the text into the field, then clicks the button.
  static auto Enter(int field, const char* text, int button) {
    return [=](HWND dialog) {
      SetText(dialog, field, text);
      PostClick(dialog, button);
    };
  }

  TestMonitorKey monitor;
  EventCapture events;
  MessageBoxRecorder boxes;
  TestResolver resolver;
  DWORD error = 0;
};

// The monitor starts with log level 2 and the store then holds 3: the store shows whether an operation
// wrote the monitor's logging options back. A stored name with a space at its end is trimmed on OK.
TEST_F(PortOpsTest, AddStoresThePortAndTheLoggingOptionsOnOkOnlyAndConfigureRewritesInPlaceOrRenames) {
  monitor.PlantPort("alpha");
  monitor.SetString("Ports\\alpha", "TCP/IP Address", "10.0.0.5");
  monitor.SetString("Ports\\alpha", "Note", "kept");  // survives only if the key is never deleted
  monitor.PlantPort("padded ", kProtocolVnet);
  monitor.SetString("Ports\\padded ", "VTLnet Name", "prn20");
  monitor.SetDword("Options", "Logging Level", 2);
  Start();
  monitor.SetDword("Options", "Logging Level", 3);

  DialogScript cancel;
  cancel.Then(Enter(IDC_PORT_TCP_NAME, "printer7.example.com", IDC_PORT_OPTIONS))
      .Then([](HWND options) { PostClick(options, IDC_OPT_LOGGING); })
      .Then(Enter(IDC_LOG_LEVEL, "1", IDOK))
      .Then([](HWND options) { PostClick(options, IDOK); })
      .Then([](HWND dialog) { PostClick(dialog, IDCANCEL); });
  EXPECT_TRUE(Add(cancel));
  EXPECT_FALSE(monitor.HasKey("Ports\\printer7"));
  EXPECT_EQ(3u, monitor.GetDword("Options", "Logging Level"));

  DialogScript ok;
  ok.Then(Enter(IDC_PORT_TCP_NAME, "printer7.example.com", IDOK));
  EXPECT_TRUE(Add(ok));
  EXPECT_EQ("printer7.example.com", monitor.GetString("Ports\\printer7", "TCP/IP Name"));
  EXPECT_EQ(2u, monitor.GetDword("Options", "Logging Level"));

  DialogScript change;
  change.Then(Enter(IDC_PORT_TCP_ADDRESS, "10.0.0.6", IDOK));
  EXPECT_TRUE(Configure(change, "alpha"));
  EXPECT_EQ("10.0.0.6", monitor.GetString("Ports\\alpha", "TCP/IP Address"));
  EXPECT_EQ("kept", monitor.GetString("Ports\\alpha", "Note"));

  DialogScript rename;
  rename.Then([](HWND dialog) { PostClick(dialog, IDOK); });
  EXPECT_TRUE(Configure(rename, "padded "));
  EXPECT_FALSE(monitor.HasKey("Ports\\padded "));
  EXPECT_EQ(kProtocolVnet, monitor.GetDword("Ports\\padded", "Protocol"));
  EXPECT_EQ("prn20", monitor.GetString("Ports\\padded", "VTLnet Name"));
  EXPECT_EQ((std::vector<std::string>{"printer7", "padded", "alpha"}), ListedPorts());
}

// Under a volatile "Ports" key the registry refuses to create the renamed port's lasting key.
TEST_F(PortOpsTest, FailedWriteDuringRenameKeepsTheOldKey) {
  ScopedKey port;  // "Ports" and the port beneath it, both volatile
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, monitor.Below("Ports\\padded ").c_str(), 0, nullptr,
                                           REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, port.out(), nullptr));
  monitor.PlantPort("padded ");
  monitor.SetString("Ports\\padded ", "TCP/IP Address", "10.0.0.5");
  Start();
  DialogScript script;
  script.Then([](HWND dialog) { PostClick(dialog, IDOK); });
  EXPECT_FALSE(Configure(script, "padded "));
  EXPECT_EQ(static_cast<DWORD>(ERROR_CHILD_MUST_BE_VOLATILE), error);
  EXPECT_EQ("10.0.0.5", monitor.GetString("Ports\\padded ", "TCP/IP Address"));
}

// Denied before start-up, as for a user who may only read: the list still holds every port.
TEST_F(PortOpsTest, UserWithoutWriteAccessIsToldAndSeesTheSettingsReadOnly) {
  monitor.PlantPort("alpha");
  monitor.SetString("Ports\\alpha", "TCP/IP Address", "10.0.0.5");
  TestWritesDenied denied(monitor.path());
  Start();
  DialogScript noDialog;  // any dialog would outlive this empty script and fail the test
  EXPECT_TRUE(Add(noDialog));
  ASSERT_EQ(1u, boxes.boxes().size());
  EXPECT_EQ("You are denied access to add a port.", boxes.boxes()[0].text);

  DialogScript readOnly;
  readOnly.Then([this](HWND dialog) {
    ASSERT_EQ(2u, boxes.boxes().size());
    EXPECT_EQ("You are denied access to configure the port. You will be able to view the settings.",
              boxes.boxes()[1].text);
    EXPECT_EQ("10.0.0.5", ControlText(dialog, IDC_PORT_TCP_ADDRESS));
    EXPECT_FALSE(IsControlEnabled(dialog, IDC_PORT_TCP_ADDRESS) || IsControlEnabled(dialog, IDC_PORT_VNET));
    PostClick(dialog, IDOK);
  });
  EXPECT_FALSE(Configure(readOnly, "alpha"));  // the store refuses the writes
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), error);

  // A delete the store refuses leaves the port listed.
  EXPECT_FALSE(MonitorDeletePort(nullptr, nullptr, "alpha"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  EXPECT_EQ(std::vector<std::string>{"alpha"}, ListedPorts());
}

// The port is deleted from behind the open dialog: OK finds it gone, reports it and writes nothing.
// A delete takes only a listed port of exactly that name.
TEST_F(PortOpsTest, ConfigureNeverBringsBackAPortDeletedWhileItsDialogWasOpen) {
  monitor.PlantPort("alpha");
  monitor.PlantPort("beta");
  Start();
  monitor.PlantPort("later");  // stored, but not in this process's list
  for (const char* name : {"later", "BETA"}) {
    EXPECT_FALSE(MonitorDeletePort(nullptr, nullptr, name)) << name;
    EXPECT_EQ(static_cast<DWORD>(ERROR_UNKNOWN_PORT), GetLastError()) << name;
  }
  EXPECT_TRUE(monitor.HasKey("Ports\\later") && monitor.HasKey("Ports\\beta"));
  DialogScript script;
  script.Then([](HWND dialog) {
    EXPECT_TRUE(MonitorDeletePort(nullptr, nullptr, "alpha"));
    SetText(dialog, IDC_PORT_TCP_ADDRESS, "10.0.0.9");
    PostClick(dialog, IDOK);
  });
  EXPECT_FALSE(Configure(script, "alpha"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_UNKNOWN_PORT), error);
  EXPECT_FALSE(monitor.HasKey("Ports\\alpha"));
  EXPECT_EQ(std::vector<std::string>{"beta"}, ListedPorts());
}

// The Ports window tells of a failed delete with the system's reason, and a refill that cannot
// raise "Update" reloads this process's list itself: a port another process stored shows up.
TEST_F(PortOpsTest, PortsWindowReportsAFailedDeleteAndRefillsWithoutTheUpdateFlag) {
  monitor.PlantPort("alpha");
  TestWritesDenied denied(monitor.path());
  Start();
  ASSERT_TRUE(StatusSucceeded(RegisterPortsClass(ModuleInstance)));
  HWND window = CreateDialogA(ModuleInstance, "Ports", nullptr, nullptr);
  ASSERT_NE(nullptr, window);
  RefreshPortsList(window);
  monitor.PlantPort("later");
  SendDlgItemMessageA(window, IDC_PORTS_LIST, LB_SETCURSEL, 0, 0);
  SendMessageA(window, WM_COMMAND, IDC_PORTS_DELETE, 0);
  ASSERT_EQ(1u, boxes.boxes().size());
  EXPECT_EQ(0u, boxes.boxes()[0].text.find("The port could not be deleted.\n\n"));
  EXPECT_NE(std::string::npos, boxes.boxes()[0].text.find("(error 5)")) << boxes.boxes()[0].text;
  EXPECT_EQ(2, SendDlgItemMessageA(window, IDC_PORTS_LIST, LB_GETCOUNT, 0, 0));
  DestroyWindow(window);
  UnregisterClassA(kPortsClassName, ModuleInstance);
}

}  // namespace
