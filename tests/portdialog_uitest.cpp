#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "base/module.h"
#include "dialogdriver.h"
#include "eventcapture.h"
#include "model/portconfig.h"
#include "model/portlist.h"
#include "names/resolve.h"
#include "portdlg/portdialog.h"
#include "resource.h"
#include "testregistry.h"
#include "testresolver.h"

namespace {

bool tcpAvailable = true, vnetAvailable = true;

void Click(HWND dialog, int id) { SendDlgItemMessageA(dialog, id, BM_CLICK, 0, 0); }

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
    MonitorShutdown();
    DestroyPortConfig(record);
  }

  void NewRecord() {
    DestroyPortConfig(record);
    record = CreatePortConfig(ModuleInstance, nullptr);
    AllowAllProtocols(record);
  }
  // A click handled before it returns; a click on OK that passes ends the dialog when the step is over.
  INT_PTR Run(const DialogScript::Step& step, const DialogScript::Step& next = nullptr) {
    DialogScript script;
    script.Then(step);
    if (next) script.Then(next);
    return script.Run([&] { return adding ? RunAddPortDialog(record) : RunConfigurePortDialog(record); });
  }

  TestMonitorKey monitor;
  EventCapture events;
  PortConfig* record = nullptr;
  bool adding = true;
  MessageBoxRecorder boxes;
  TestResolver resolver;
};

// Each field's refusal in turn, with the focus on its field; the other protocol's fields are not checked.
TEST_F(PortDialogTest, AddRefusesEachFieldInTurnAndResolvesWhatWasTyped) {
  auto refused = [this](HWND dialog, std::initializer_list<std::pair<int, const char*>> texts, const char* message,
                        int focus) {
    for (const auto& [id, text] : texts) SetText(dialog, id, text);
    Click(dialog, IDOK);
    EXPECT_TRUE(boxes.boxes().size() == 1 && boxes.boxes()[0].text.find(message) == 0 &&
                FocusedControlId(dialog) == focus) << message;
    boxes.Clear();
  };
  EXPECT_EQ(1, Run([&](HWND dialog) {
    SetText(dialog, IDC_PORT_TCP_NAME, "printer7.example.com");
    FocusControl(dialog, IDC_PORT_NAME_EDIT);
    EXPECT_EQ("10.0.0.7 printer7",
              ControlText(dialog, IDC_PORT_TCP_ADDRESS) + " " + ControlText(dialog, IDC_PORT_NAME_EDIT));

    refused(dialog, {{IDC_PORT_TCP_NAME, "bad_name"}}, "A TCP/IP name may", IDC_PORT_TCP_NAME);
    refused(dialog, {{IDC_PORT_TCP_NAME, "host"}, {IDC_PORT_TCP_ADDRESS, "1.2.3.4.5"}},
            "The TCP/IP address is incorrect.", IDC_PORT_TCP_ADDRESS);
    // ".internal" proposes no port name.
    refused(dialog, {{IDC_PORT_TCP_NAME, ".internal"}, {IDC_PORT_TCP_ADDRESS, "10.0.0.1"}, {IDC_PORT_NAME_EDIT, "   "}},
            "The port name must not be empty.", IDC_PORT_NAME_EDIT);
    refused(dialog, {{IDC_PORT_NAME_EDIT, "ALPHA"}}, "The port name is already in use.", IDC_PORT_NAME_EDIT);
    Click(dialog, IDC_PORT_VNET);
    refused(dialog, {{IDC_PORT_VNET_NAME, "n-1"}, {IDC_PORT_VNET_ADDRESS, "64.1"}}, "A VTLnet name may",
            IDC_PORT_VNET_NAME);
    refused(dialog, {{IDC_PORT_VNET_NAME, "node1"}}, "The VTLnet address is incorrect.", IDC_PORT_VNET_ADDRESS);

    Click(dialog, IDC_PORT_TCP);
    SetText(dialog, IDC_PORT_NAME_EDIT, "delta");
    // Changed and entered without leaving the field: resolved afresh all the same.
    SetText(dialog, IDC_PORT_TCP_ADDRESS, "");
    FocusControl(dialog, IDC_PORT_TCP_NAME);
    SetText(dialog, IDC_PORT_TCP_NAME, "prn20.example.com");
    PressKey(dialog, VK_RETURN);
  }));
  EXPECT_EQ("10.0.0.20 delta", std::string(record->tcpAddress) + " " + record->portName);
}

// Each unavailable protocol is noticed once per run. A user who may only read can change nothing
// and gets no notice, but OK still checks; the name shows as a label, where an "&" is a character.
TEST_F(PortDialogTest, UnavailableProtocolsAreNoticedOnceExceptToAReadOnlyUserWhoseOkStillChecks) {
  tcpAvailable = vnetAvailable = false;
  Run([&](HWND dialog) {
    for (int id : {IDC_PORT_VNET, IDC_PORT_TCP, IDC_PORT_VNET, IDCANCEL}) Click(dialog, id);
  });
  ASSERT_EQ(2u, boxes.boxes().size());
  EXPECT_EQ(0u, boxes.boxes()[1].text.find("The VTLnet protocol is not"));

  // Where only VTLnet can be used, a port with no protocol opens on it without a word.
  boxes.Clear();
  vnetAvailable = true;
  NewRecord();
  Run([](HWND dialog) { Click(dialog, IDCANCEL); });
  EXPECT_TRUE(boxes.boxes().empty() && IsVnetSelected(record));

  vnetAvailable = false;
  NewRecord();
  monitor.PlantPort("R&D");
  SetPortName(record, "R&D");  // unchanged, so not refused as one in use
  SetTcpName(record, "bad_name");
  record->readOnly = 1;
  adding = false;
  EXPECT_EQ(1, Run([&](HWND dialog) {
    for (int id : {IDC_PORT_TCP, IDC_PORT_VNET, IDC_PORT_TCP_NAME, IDC_PORT_VNET_ADDRESS})
      EXPECT_FALSE(IsControlEnabled(dialog, id)) << id;
    EXPECT_EQ("R&D", ControlText(dialog, IDC_PORT_NAME_TEXT));
    EXPECT_NE(0, GetWindowLongA(GetDlgItem(dialog, IDC_PORT_NAME_TEXT), GWL_STYLE) & SS_NOPREFIX);
    Click(dialog, IDOK);
    EXPECT_EQ(1u, boxes.boxes().size()) << "the refusal, and no notice before it";
    SetText(dialog, IDC_PORT_TCP_NAME, "printer7.example.com");
    Click(dialog, IDOK);
  }));
}

// Enter runs OK with the focus still in the field; the error box's taking the focus must not complete again.
TEST_F(PortDialogTest, EnterInAFieldWithABadNameShowsOneBoxAndNoFocusLossCompletion) {
  static int nameLookups = 0;
  SetTcpResolver([](const char*) -> hostent* { return ++nameLookups, nullptr; },
                 [](const char*, int, int) -> hostent* { return nullptr; });
  EXPECT_EQ(0, Run([](HWND dialog) {
    nameLookups = 0;
    SetText(dialog, IDC_PORT_TCP_NAME, "bad_name");
    PressKey(dialog, VK_RETURN);
  }, [this](HWND dialog) {
    EXPECT_EQ(IDC_PORT_TCP_NAME, FocusedControlId(dialog));
    EXPECT_TRUE(boxes.boxes().size() == 1 && nameLookups == 1) << "one box; the OK procedure's own completion only";
    Click(dialog, IDCANCEL);
  }));
}

}  // namespace
