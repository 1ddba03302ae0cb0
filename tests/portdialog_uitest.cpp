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

// What the protocol probes report while a test runs.
bool tcpAvailable = true, vnetAvailable = true;

// A click handled before it returns; a click on OK that passes ends the dialog when the step is over.
void Click(HWND dialog, int id) { SendDlgItemMessageA(dialog, id, BM_CLICK, 0, 0); }

HWND HelpViewer() { return FindWindowA(kHelpWindowClass, nullptr); }

// An add dialog by default, over a monitor that has the port "Alpha".
class PortDialogTest : public ::testing::Test {
protected:
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
  INT_PTR Run(const DialogScript::Step& step) {
    DialogScript script;
    script.Then(step);
    return script.Run([&] { return adding ? RunAddPortDialog(record) : RunConfigurePortDialog(record); });
  }

  TestMonitorKey monitor;
  EventCapture events;
  PortConfig* record = nullptr;
  bool adding = true;
  MessageBoxRecorder boxes;
  TestResolver resolver;
};

// Each field's refusal in turn, with its prompt and the focus on its field; the fields of the
// protocol that is not selected are not checked.
TEST_F(PortDialogTest, AddRefusesEachFieldInTurnAndResolvesWhatWasTyped) {
  // Enters the texts, clicks OK and expects one refusal: its message, the prompt's subject, the focus.
  auto refused = [this](HWND dialog, std::initializer_list<std::pair<int, const char*>> texts, const char* message,
                        const char* subject, int focus) {
    for (const auto& [id, text] : texts) SetText(dialog, id, text);
    Click(dialog, IDOK);
    ASSERT_EQ(1u, boxes.boxes().size()) << message;
    EXPECT_EQ(0u, boxes.boxes()[0].text.find(message)) << boxes.boxes()[0].text;
    EXPECT_NE(std::string::npos, boxes.boxes()[0].text.find(std::string("\n\nPlease enter a valid ") + subject + "."));
    EXPECT_EQ(focus, FocusedControlId(dialog)) << message;
    boxes.Clear();
  };
  INT_PTR result = Run([&](HWND dialog) {
    EXPECT_EQ("Add Port - Vantrel Pressmark Printer", WindowText(dialog));
    EXPECT_TRUE(IsControlChecked(dialog, IDC_PORT_TCP) && IsControlVisible(dialog, IDC_PORT_NAME_EDIT) &&
                !IsControlVisible(dialog, IDC_PORT_NAME_TEXT));
    for (int id : {IDC_PORT_VNET, IDC_PORT_TCP_NAME, IDC_PORT_TCP_ADDRESS, IDC_PORT_NAME_EDIT}) {
      EXPECT_TRUE(IsControlEnabled(dialog, id)) << id;
    }
    EXPECT_FALSE(IsControlEnabled(dialog, IDC_PORT_VNET_NAME) || IsControlEnabled(dialog, IDC_PORT_VNET_ADDRESS));
    EXPECT_EQ(IDC_PORT_TCP_NAME, FocusedControlId(dialog));
    SetText(dialog, IDC_PORT_TCP_NAME, "printer7.example.com");
    FocusControl(dialog, IDC_PORT_NAME_EDIT);
    EXPECT_EQ("10.0.0.7", ControlText(dialog, IDC_PORT_TCP_ADDRESS));
    EXPECT_EQ("printer7", ControlText(dialog, IDC_PORT_NAME_EDIT));

    refused(dialog, {{IDC_PORT_TCP_NAME, "bad_name"}}, "A TCP/IP name may", "TCP/IP name", IDC_PORT_TCP_NAME);
    refused(dialog, {{IDC_PORT_TCP_NAME, "host"}, {IDC_PORT_TCP_ADDRESS, "1.2.3.4.5"}},
            "The TCP/IP address is incorrect.", "TCP/IP address", IDC_PORT_TCP_ADDRESS);
    // ".internal" proposes no port name.
    refused(dialog, {{IDC_PORT_TCP_NAME, ".internal"}, {IDC_PORT_TCP_ADDRESS, "10.0.0.1"}, {IDC_PORT_NAME_EDIT, "   "}},
            "The port name must not be empty.", "new port name", IDC_PORT_NAME_EDIT);
    refused(dialog, {{IDC_PORT_NAME_EDIT, "ALPHA"}}, "The port name is already in use.", "new port name",
            IDC_PORT_NAME_EDIT);
    Click(dialog, IDC_PORT_VNET);
    refused(dialog, {{IDC_PORT_VNET_NAME, "n-1"}, {IDC_PORT_VNET_ADDRESS, "64.1"}}, "A VTLnet name may", "VTLnet name",
            IDC_PORT_VNET_NAME);
    refused(dialog, {{IDC_PORT_VNET_NAME, "node1"}}, "The VTLnet address is incorrect.", "VTLnet address",
            IDC_PORT_VNET_ADDRESS);

    Click(dialog, IDC_PORT_TCP);
    SetText(dialog, IDC_PORT_NAME_EDIT, "delta");
    Click(dialog, IDC_HELP_BUTTON);
    EXPECT_EQ("Adding a port", ControlText(HelpViewer(), IDC_HELP_TITLE));
    // Changed and entered without leaving the field: resolved afresh all the same.
    SetText(dialog, IDC_PORT_TCP_ADDRESS, "");
    FocusControl(dialog, IDC_PORT_TCP_NAME);
    SetText(dialog, IDC_PORT_TCP_NAME, "prn20.example.com");
    PressKey(dialog, VK_RETURN);
  });
  EXPECT_EQ(1, result);
  EXPECT_TRUE(boxes.boxes().empty());
  EXPECT_EQ(nullptr, HelpViewer()) << "the help the dialog opened closes with it";
  EXPECT_EQ("10.0.0.20 delta 64.1",
            std::string(record->tcpAddress) + " " + record->portName + " " + record->vnetAddress);
}

// Configure for a user who may only read: nothing can be changed and no notice is offered, but OK
// still checks. The name shows as a label, where an "&" is a character of the name.
TEST_F(PortDialogTest, ReadOnlyConfigureDisablesTheChoicesOffersNoNoticeAndStillChecksOk) {
  tcpAvailable = vnetAvailable = false;
  monitor.PlantPort("R&D");
  SetPortName(record, "R&D");  // unchanged, so not refused as one in use
  SetTcpName(record, "bad_name");
  record->readOnly = 1;
  adding = false;
  INT_PTR result = Run([&](HWND dialog) {
    EXPECT_EQ("Configure Port - Vantrel Pressmark Printer", WindowText(dialog));
    for (int id : {IDC_PORT_TCP, IDC_PORT_VNET, IDC_PORT_TCP_NAME, IDC_PORT_TCP_ADDRESS, IDC_PORT_VNET_NAME,
                   IDC_PORT_VNET_ADDRESS}) {
      EXPECT_FALSE(IsControlEnabled(dialog, id)) << id;
    }
    EXPECT_EQ("R&D", ControlText(dialog, IDC_PORT_NAME_TEXT));
    EXPECT_NE(0, GetWindowLongA(GetDlgItem(dialog, IDC_PORT_NAME_TEXT), GWL_STYLE) & SS_NOPREFIX);
    EXPECT_TRUE(boxes.boxes().empty());
    Click(dialog, IDOK);
    EXPECT_EQ(1u, boxes.boxes().size());
    SetText(dialog, IDC_PORT_TCP_NAME, "printer7.example.com");
    Click(dialog, IDOK);
  });
  EXPECT_EQ(1, result);
}

TEST_F(PortDialogTest, EachUnavailableProtocolIsNoticedOncePerRun) {
  tcpAvailable = vnetAvailable = false;
  HWND shown = nullptr;
  Run([&](HWND dialog) {
    shown = dialog;
    for (int id : {IDC_PORT_VNET, IDC_PORT_TCP, IDC_PORT_VNET, IDCANCEL}) Click(dialog, id);
  });
  ASSERT_EQ(2u, boxes.boxes().size());
  EXPECT_EQ(shown, boxes.boxes()[0].owner);
  for (int i = 0; i < 2; ++i) {
    const std::string protocol = i ? "VTLnet" : "TCP/IP";
    EXPECT_EQ("Pressmark " + protocol + " Information Message", boxes.boxes()[i].caption);
    EXPECT_EQ(0u, boxes.boxes()[i].text.find("The " + protocol + " protocol is not currently available."));
  }

  // Where only VTLnet can be used, a port with no protocol opens on it without a word.
  vnetAvailable = true;
  boxes.Clear();
  NewRecord();
  Run([](HWND dialog) { Click(dialog, IDCANCEL); });
  EXPECT_TRUE(boxes.boxes().empty() && IsVnetSelected(record));
}

// Enter in a field runs OK while the field still has the focus; the error box then takes the
// focus, and that loss must not complete the fields a second time.
TEST_F(PortDialogTest, EnterInAFieldWithABadNameShowsOneBoxAndNoFocusLossCompletion) {
  static int nameLookups = 0;
  SetTcpResolver([](const char*) -> hostent* { return ++nameLookups, nullptr; },
                 [](const char*, int, int) -> hostent* { return nullptr; });
  DialogScript script;
  script
      .Then([](HWND dialog) {
        nameLookups = 0;
        SetText(dialog, IDC_PORT_TCP_NAME, "bad_name");
        PressKey(dialog, VK_RETURN);
      })
      .Then([this](HWND dialog) {
        EXPECT_EQ(1u, boxes.boxes().size());
        EXPECT_EQ(1, nameLookups);  // the OK procedure's own completion only
        EXPECT_EQ(IDC_PORT_TCP_NAME, FocusedControlId(dialog));
        PostClick(dialog, IDCANCEL);
      });
  EXPECT_EQ(0, script.Run([&] { return RunAddPortDialog(record); }));
}

}  // namespace
