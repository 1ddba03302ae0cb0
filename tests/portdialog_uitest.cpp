#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "base/module.h"
#include "dialogdriver.h"
#include "dlgutil/help.h"
#include "eventcapture.h"
#include "model/portconfig.h"
#include "model/portlist.h"
#include "names/resolve.h"
#include "portdlg/portdialog.h"
#include "resource.h"
#include "testregistry.h"
#include "testresolver.h"

namespace {

constexpr char kTcpNameMessage[] =
    "A TCP/IP name may contain only the characters\n0-9, a-z, A-Z, period (.) and hyphen (-).";

// What the protocol probes report while a test runs.
bool tcpAvailable = true;
bool vnetAvailable = true;

std::string ErrorText(const char* message, const char* prompt) { return std::string(message) + "\n\n" + prompt; }

// A click handled before it returns; a click on OK that passes ends the dialog when the step is over.
void Click(HWND dialog, int id) { SendDlgItemMessageA(dialog, id, BM_CLICK, 0, 0); }

HWND HelpViewer() { return FindWindowA(kHelpWindowClass, nullptr); }

// An add dialog by default, over a monitor that has the port "Alpha".
class PortDialogTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { LoadVnetLibrary(); }

  void SetUp() override {
    tcpAvailable = vnetAvailable = true;
    SetProtocolProbe([](int family) { return family == kTcpFamily ? tcpAvailable : vnetAvailable; });
    resolver.Add("printer7.example.com", "10.0.0.7");
    resolver.Add("prn20.example.com", "10.0.0.20");
    monitor.PlantPort("Alpha");
    ASSERT_TRUE(MonitorInitialize(monitor.path()));
    NewRecord();
  }
  void TearDown() override {
    SetProtocolProbe(nullptr);
    CloseHelp();
    MonitorShutdown();
    DestroyPortConfig(record);
  }

  void NewRecord() {
    DestroyPortConfig(record);
    record = CreatePortConfig(ModuleInstance, nullptr);
    AllowAllProtocols(record);
  }
  // Runs the dialog with one step, or with the steps of `script`.
  INT_PTR Run(const DialogScript::Step& step) {
    DialogScript script;
    script.Then(step);
    return Run(script);
  }
  INT_PTR Run(DialogScript& script) {
    return script.Run([&] { return adding ? RunAddPortDialog(record) : RunConfigurePortDialog(record); });
  }

  TestMonitorKey monitor;
  EventCapture events;
  PortConfig* record = nullptr;
  bool adding = true;
  MessageBoxRecorder boxes;
  TestResolver resolver;
};

TEST_F(PortDialogTest, AddOpensOnTcpResolvesWhatWasTypedAndChecksOnlyTheSelectedProtocol) {
  INT_PTR result = Run([](HWND dialog) {
    EXPECT_EQ("Add Port - Vantrel Pressmark Printer", WindowText(dialog));
    EXPECT_TRUE(IsControlVisible(dialog, IDC_PORT_NAME_EDIT) && !IsControlVisible(dialog, IDC_PORT_NAME_TEXT));
    EXPECT_TRUE(IsControlChecked(dialog, IDC_PORT_TCP));
    for (int id : {IDC_PORT_VNET, IDC_PORT_TCP_NAME, IDC_PORT_TCP_ADDRESS, IDC_PORT_NAME_EDIT}) {
      EXPECT_TRUE(IsControlEnabled(dialog, id)) << id;
    }
    EXPECT_FALSE(IsControlEnabled(dialog, IDC_PORT_VNET_NAME) || IsControlEnabled(dialog, IDC_PORT_VNET_ADDRESS));
    EXPECT_EQ(IDC_PORT_TCP_NAME, FocusedControlId(dialog));
    SetText(dialog, IDC_PORT_VNET_NAME, "bad-1");
    SetText(dialog, IDC_PORT_VNET_ADDRESS, "99.99");
    SetText(dialog, IDC_PORT_TCP_NAME, "printer7.example.com");
    FocusControl(dialog, IDC_PORT_NAME_EDIT);
    EXPECT_EQ("10.0.0.7", ControlText(dialog, IDC_PORT_TCP_ADDRESS));
    EXPECT_EQ("printer7", ControlText(dialog, IDC_PORT_NAME_EDIT));
    Click(dialog, IDC_HELP_BUTTON);
    EXPECT_EQ("Adding a port", ControlText(HelpViewer(), IDC_HELP_TITLE));
    // Changed and entered without leaving the field: resolved afresh all the same.
    FocusControl(dialog, IDC_PORT_TCP_NAME);
    SetText(dialog, IDC_PORT_TCP_NAME, "prn20.example.com");
    PressKey(dialog, VK_RETURN);
  });
  EXPECT_EQ(1, result);
  EXPECT_TRUE(boxes.boxes().empty());
  EXPECT_EQ(nullptr, HelpViewer());
  EXPECT_STREQ("10.0.0.20", record->tcpAddress);
  EXPECT_STREQ("prn20", record->portName);
  EXPECT_STREQ("99.99", record->vnetAddress);
}

TEST_F(PortDialogTest, ReadOnlyRunDisablesTheChoicesOffersNoNoticeAndStillChecksOk) {
  tcpAvailable = vnetAvailable = false;
  for (bool add : {true, false}) {
    NewRecord();
    SetPortName(record, "Alpha");
    SetTcpName(record, "bad_name");
    record->readOnly = 1;
    adding = add;
    INT_PTR result = Run([&](HWND dialog) {
      for (int id : {IDC_PORT_TCP, IDC_PORT_VNET, IDC_PORT_TCP_NAME, IDC_PORT_TCP_ADDRESS, IDC_PORT_VNET_NAME,
                     IDC_PORT_VNET_ADDRESS}) {
        EXPECT_FALSE(IsControlEnabled(dialog, id)) << id;
      }
      EXPECT_FALSE(add && IsControlEnabled(dialog, IDC_PORT_NAME_EDIT));
      EXPECT_TRUE(boxes.boxes().empty());
      Click(dialog, IDOK);
      ASSERT_EQ(1u, boxes.boxes().size());
      EXPECT_EQ(ErrorText(kTcpNameMessage, "Please enter a valid TCP/IP name."), boxes.boxes()[0].text);
      boxes.Clear();
      SetText(dialog, IDC_PORT_TCP_NAME, "printer7.example.com");
      Click(dialog, IDOK);
    });
    EXPECT_EQ(1, result) << add;
  }
}

TEST_F(PortDialogTest, EachUnavailableProtocolIsNoticedOncePerRun) {
  tcpAvailable = vnetAvailable = false;
  HWND shown = nullptr;
  Run([&](HWND dialog) {
    shown = dialog;
    Click(dialog, IDC_PORT_VNET);
    Click(dialog, IDC_PORT_TCP);
    Click(dialog, IDC_PORT_VNET);
    Click(dialog, IDCANCEL);
  });
  ASSERT_EQ(2u, boxes.boxes().size());
  EXPECT_EQ(shown, boxes.boxes()[0].owner);
  const char* notices[][2] = {
      {"Pressmark TCP/IP Information Message", "The TCP/IP protocol is not currently available."},
      {"Pressmark VTLnet Information Message", "The VTLnet protocol is not currently available."}};
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(notices[i][0], boxes.boxes()[i].caption);
    EXPECT_EQ(0u, boxes.boxes()[i].text.find(notices[i][1])) << boxes.boxes()[i].text;
  }

  // Where only VTLnet can be used, a port with no protocol opens on it without a word.
  vnetAvailable = true;
  boxes.Clear();
  NewRecord();
  Run([](HWND dialog) { Click(dialog, IDCANCEL); });
  EXPECT_TRUE(boxes.boxes().empty());
  EXPECT_TRUE(IsVnetSelected(record));
}

TEST_F(PortDialogTest, FirstFailureIsReportedWithItsPromptAndTakesTheFocus) {
  struct Case {
    bool tcp;
    const char* name;
    const char* address;
    const char* portName;
    const char* message;
    const char* prompt;
    int focus;
  } cases[] = {
      {true, "bad_name", "1.2.3.4.5", "   ", kTcpNameMessage, "Please enter a valid TCP/IP name.", IDC_PORT_TCP_NAME},
      {true, "host", "1.2.3.4.5", "   ", "The TCP/IP address is incorrect.", "Please enter a valid TCP/IP address.",
       IDC_PORT_TCP_ADDRESS},
      {false, "n-1", "64.1", "   ",
       "A VTLnet name may contain only letters and\ndigits and must contain at least one letter.",
       "Please enter a valid VTLnet name.", IDC_PORT_VNET_NAME},
      {false, "node1", "64.1", "   ", "The VTLnet address is incorrect.", "Please enter a valid VTLnet address.",
       IDC_PORT_VNET_ADDRESS},
      // Valid printer fields whose name proposes no port name, and a port name of spaces only.
      {true, ".internal", "10.0.0.1", "   ", "The port name must not be empty.", "Please enter a valid new port name.",
       IDC_PORT_NAME_EDIT},
      {true, "printer7.example.com", "", "ALPHA", "The port name is already in use.",
       "Please enter a valid new port name.", IDC_PORT_NAME_EDIT},
  };
  for (const Case& c : cases) {
    NewRecord();
    c.tcp ? SelectTcp(record) : SelectVnet(record);
    boxes.Clear();
    INT_PTR result = Run([&](HWND dialog) {
      SetText(dialog, c.tcp ? IDC_PORT_TCP_NAME : IDC_PORT_VNET_NAME, c.name);
      SetText(dialog, c.tcp ? IDC_PORT_TCP_ADDRESS : IDC_PORT_VNET_ADDRESS, c.address);
      FocusControl(dialog, IDC_PORT_NAME_EDIT);
      SetText(dialog, IDC_PORT_NAME_EDIT, c.portName);
      Click(dialog, IDOK);
      ASSERT_EQ(1u, boxes.boxes().size()) << c.name;
      EXPECT_EQ(ErrorText(c.message, c.prompt), boxes.boxes()[0].text);
      EXPECT_EQ(c.focus, FocusedControlId(dialog)) << c.name;
      Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(0, result) << c.name;
  }
}

// Enter in a field runs OK while the field still has the focus; the error box then takes the
// focus, and that loss must not complete the fields a second time.
TEST_F(PortDialogTest, EnterInAFieldWithABadNameShowsOneBoxAndNoFocusLossCompletion) {
  static int nameLookups = 0;
  SetTcpResolver(
      [](const char*) -> hostent* {
        ++nameLookups;
        return nullptr;
      },
      [](const char*, int, int) -> hostent* { return nullptr; });
  DialogScript script;
  script
      .Then([](HWND dialog) {
        nameLookups = 0;
        SetText(dialog, IDC_PORT_TCP_NAME, "bad_name");
        PressKey(dialog, VK_RETURN);
      })
      .Then([this](HWND dialog) {
        ASSERT_EQ(1u, boxes.boxes().size());
        EXPECT_EQ(1, nameLookups);  // the OK procedure's own completion only
        EXPECT_EQ(IDC_PORT_TCP_NAME, FocusedControlId(dialog));
        PostClick(dialog, IDCANCEL);
      });
  EXPECT_EQ(0, Run(script));
}

}  // namespace
