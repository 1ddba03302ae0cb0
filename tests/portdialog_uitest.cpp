#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "base/module.h"
#include "dialogdriver.h"
#include "dlgutil/help.h"
#include "eventcapture.h"
#include "model/portconfig.h"
#include "model/vtlpmmon.h"
#include "portdlg/portdialog.h"
#include "portdlg/resolve.h"
#include "resource.h"
#include "testregistry.h"
#include "testresolver.h"

namespace {

constexpr char kTcpNotice[] =
    "The TCP/IP protocol is not currently available.\n\nYou may configure the port for TCPIP, but the port will "
    "not operate.";
constexpr char kVnetNotice[] =
    "The VTLnet protocol is not currently available.\n\nYou may configure the port for VTLnet, but the port will "
    "not operate.";

// What the protocol probes report while a test runs.
bool tcpAvailable = true;
bool vnetAvailable = true;

bool ProbeProtocol(int family) {
  return family == kTcpFamily ? tcpAvailable : vnetAvailable;
}

std::string ErrorText(const char* message, const char* prompt) {
  return std::string(message) + "\n\n" + prompt;
}

class PortDialogTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { LoadVnetLibrary(); }

  void SetUp() override {
    tcpAvailable = vnetAvailable = true;
    SetProtocolProbe(ProbeProtocol);
    resolver.Add("printer7.example.com", "10.0.0.7");
    resolver.Add("prn20.example.com", "10.0.0.20");
    NewRecord();
  }
  void TearDown() override {
    SetProtocolProbe(nullptr);
    CloseHelp();
    MonitorShutdown();
    DestroyPortConfig(record);
  }

  void NewRecord() {
    if (record) DestroyPortConfig(record);
    record = CreatePortConfig(ModuleInstance, nullptr);
    AllowAllProtocols(record);
  }
  // A configured port's record: its name and a TCP/IP printer.
  void ExistingTcpPort(const char* portName) {
    SetPortName(record, portName);
    SelectTcp(record);
    SetTcpName(record, "printer7.example.com");
    SetTcpAddress(record, "10.0.0.7");
  }
  INT_PTR Run(DialogScript& script, bool add) {
    return script.Run([&] { return add ? RunAddPortDialog(record) : RunConfigurePortDialog(record); });
  }

  PortConfig* record = nullptr;
  MessageBoxRecorder boxes;
  TestResolver resolver;
};

TEST_F(PortDialogTest, AddOpensOnTcpAndCancelKeepsWhatWasTyped) {
  DialogScript script;
  script.Then([this](HWND dialog) {
    EXPECT_EQ("Add Port - Vantrel Pressmark Printer", WindowText(dialog));
    EXPECT_TRUE(IsControlVisible(dialog, IDC_PORT_NAME_EDIT) && !IsControlVisible(dialog, IDC_PORT_NAME_TEXT));
    EXPECT_TRUE(IsControlChecked(dialog, IDC_PORT_TCP));
    for (int id : {IDC_PORT_VNET, IDC_PORT_TCP_NAME, IDC_PORT_TCP_ADDRESS, IDC_PORT_NAME_EDIT}) {
      EXPECT_TRUE(IsControlEnabled(dialog, id)) << id;
    }
    EXPECT_FALSE(IsControlEnabled(dialog, IDC_PORT_VNET_NAME) || IsControlEnabled(dialog, IDC_PORT_VNET_ADDRESS));
    EXPECT_EQ(IDC_PORT_TCP_NAME, FocusedControlId(dialog));
    EXPECT_TRUE(boxes.boxes().empty());
    SetText(dialog, IDC_PORT_TCP_NAME, "myhost");
    FocusControl(dialog, IDC_PORT_NAME_EDIT);
    SetText(dialog, IDC_PORT_NAME_EDIT, "mine");
    PostClick(dialog, IDCANCEL);
  });
  EXPECT_EQ(0, Run(script, true));
  EXPECT_STREQ("myhost", record->tcpName);
  EXPECT_STREQ("mine", record->portName);
}

TEST_F(PortDialogTest, ConfigureShowsTheNameAndTheStoredProtocol) {
  SetPortName(record, "alpha");
  SelectVnet(record);
  SetVnetName(record, "prn20");
  DialogScript script;
  script.Then([](HWND dialog) {
    EXPECT_EQ("Configure Port - Vantrel Pressmark Printer", WindowText(dialog));
    EXPECT_TRUE(IsControlVisible(dialog, IDC_PORT_NAME_TEXT) && !IsControlVisible(dialog, IDC_PORT_NAME_EDIT));
    EXPECT_EQ("alpha", ControlText(dialog, IDC_PORT_NAME_TEXT));
    EXPECT_TRUE(IsControlChecked(dialog, IDC_PORT_VNET));
    EXPECT_EQ("prn20", ControlText(dialog, IDC_PORT_VNET_NAME));
    EXPECT_EQ("1.20", ControlText(dialog, IDC_PORT_VNET_ADDRESS));  // completed from the library
    EXPECT_TRUE(IsControlEnabled(dialog, IDC_PORT_VNET_ADDRESS));
    EXPECT_FALSE(IsControlEnabled(dialog, IDC_PORT_TCP_NAME));
    EXPECT_EQ(IDC_PORT_VNET_NAME, FocusedControlId(dialog));
    PostClick(dialog, IDOK);
  });
  EXPECT_EQ(1, Run(script, false));
  EXPECT_TRUE(boxes.boxes().empty());
}

TEST_F(PortDialogTest, ReadOnlyRunDisablesTheChoicesOffersNoNoticeAndStillChecksOk) {
  tcpAvailable = vnetAvailable = false;
  for (bool add : {true, false}) {
    NewRecord();
    ExistingTcpPort("alpha");
    record->readOnly = 1;
    DialogScript script;
    script.Then([add](HWND dialog) {
      for (int id : {IDC_PORT_TCP, IDC_PORT_VNET, IDC_PORT_TCP_NAME_LABEL, IDC_PORT_TCP_NAME, IDC_PORT_TCP_ADDRESS,
                     IDC_PORT_VNET_NAME, IDC_PORT_VNET_ADDRESS}) {
        EXPECT_FALSE(IsControlEnabled(dialog, id)) << id;
      }
      if (add) {
        EXPECT_FALSE(IsControlEnabled(dialog, IDC_PORT_NAME_EDIT));
      }
      for (int id : {IDOK, IDCANCEL, IDC_PORT_OPTIONS, IDC_PORT_ABOUT, IDC_HELP_BUTTON, IDC_LOGO}) {
        EXPECT_TRUE(IsControlEnabled(dialog, id)) << id;
      }
      PostClick(dialog, IDOK);
    });
    EXPECT_EQ(1, Run(script, add));
    EXPECT_TRUE(boxes.boxes().empty());
  }
}

TEST_F(PortDialogTest, EachUnavailableProtocolIsNoticedOncePerRun) {
  tcpAvailable = vnetAvailable = false;
  DialogScript script;
  script
      .Then([&](HWND dialog) {
        ASSERT_EQ(1u, boxes.boxes().size());
        EXPECT_EQ(kTcpNotice, boxes.boxes()[0].text);
        EXPECT_EQ("Pressmark TCP/IP Information Message", boxes.boxes()[0].caption);
        EXPECT_EQ(dialog, boxes.boxes()[0].owner);
        EXPECT_EQ(static_cast<UINT>(MB_ICONINFORMATION), boxes.boxes()[0].style & MB_ICONMASK);
        PostClick(dialog, IDC_PORT_VNET);
      })
      .Then([&](HWND dialog) {
        ASSERT_EQ(2u, boxes.boxes().size());
        EXPECT_EQ(kVnetNotice, boxes.boxes()[1].text);
        EXPECT_EQ("Pressmark VTLnet Information Message", boxes.boxes()[1].caption);
        PostClick(dialog, IDC_PORT_TCP);
        PostClick(dialog, IDC_PORT_VNET);
      })
      .Then([&](HWND dialog) {
        EXPECT_EQ(2u, boxes.boxes().size());
        PostClick(dialog, IDCANCEL);
      });
  Run(script, true);

  // Where only VTLnet can be used, a port with no protocol opens on it without a word.
  tcpAvailable = false;
  vnetAvailable = true;
  boxes.Clear();
  NewRecord();
  DialogScript vnetOnly;
  vnetOnly.Then([](HWND dialog) { PostClick(dialog, IDCANCEL); });
  Run(vnetOnly, true);
  EXPECT_TRUE(boxes.boxes().empty());
  EXPECT_TRUE(IsVnetSelected(record));
}

TEST_F(PortDialogTest, OkChecksOnlyTheSelectedProtocol) {
  DialogScript script;
  script.Then([](HWND dialog) {
    SetText(dialog, IDC_PORT_VNET_NAME, "bad-1");
    SetText(dialog, IDC_PORT_VNET_ADDRESS, "99.99");
    SetText(dialog, IDC_PORT_TCP_NAME, "printer7.example.com");
    PostClick(dialog, IDOK);
  });
  EXPECT_EQ(1, Run(script, true));
  EXPECT_TRUE(boxes.boxes().empty());
  EXPECT_STREQ("10.0.0.7", record->tcpAddress);
  EXPECT_STREQ("printer7", record->portName);
  EXPECT_STREQ("99.99", record->vnetAddress);
}

TEST_F(PortDialogTest, FirstFailureIsReportedWithItsPromptAndTakesTheFocus) {
  struct Case {
    bool tcp;
    const char* name;
    const char* address;
    const char* message;
    const char* prompt;
    int focus;
  } cases[] = {
      {true, "bad_name", "1.2.3.4.5",
       "A TCP/IP name may contain only the characters\n0-9, a-z, A-Z, period (.) and hyphen (-).",
       "Please enter a valid TCP/IP name.", IDC_PORT_TCP_NAME},
      {true, "host", "1.2.3.4.5", "The TCP/IP address is incorrect.", "Please enter a valid TCP/IP address.",
       IDC_PORT_TCP_ADDRESS},
      {false, "n-1", "64.1", "A VTLnet name may contain only letters and\ndigits and must contain at least one letter.",
       "Please enter a valid VTLnet name.", IDC_PORT_VNET_NAME},
      {false, "node1", "64.1", "The VTLnet address is incorrect.", "Please enter a valid VTLnet address.",
       IDC_PORT_VNET_ADDRESS},
      // Valid printer fields whose name proposes no port name, and a port name of spaces only.
      {true, ".internal", "10.0.0.1", "The port name must not be empty.", "Please enter a valid new port name.",
       IDC_PORT_NAME_EDIT},
  };
  for (const Case& c : cases) {
    NewRecord();
    c.tcp ? SelectTcp(record) : SelectVnet(record);
    boxes.Clear();
    int nameField = c.tcp ? IDC_PORT_TCP_NAME : IDC_PORT_VNET_NAME;
    int addressField = c.tcp ? IDC_PORT_TCP_ADDRESS : IDC_PORT_VNET_ADDRESS;
    DialogScript script;
    script
        .Then([&](HWND dialog) {
          SetText(dialog, nameField, c.name);
          SetText(dialog, addressField, c.address);
          FocusControl(dialog, IDC_PORT_NAME_EDIT);
          SetText(dialog, IDC_PORT_NAME_EDIT, "   ");
          PostClick(dialog, IDOK);
        })
        .Then([&](HWND dialog) {
          ASSERT_EQ(1u, boxes.boxes().size()) << c.name;
          EXPECT_EQ(ErrorText(c.message, c.prompt), boxes.boxes()[0].text);
          EXPECT_EQ("Error Message", boxes.boxes()[0].caption);
          EXPECT_EQ(static_cast<UINT>(MB_ICONSTOP), boxes.boxes()[0].style & MB_ICONMASK);
          EXPECT_EQ(c.focus, FocusedControlId(dialog)) << c.name;
          PostClick(dialog, IDCANCEL);
        });
    EXPECT_EQ(0, Run(script, true)) << c.name;
  }
}

TEST_F(PortDialogTest, NameOfAnExistingPortIsRefusedInAnyCaseButOnlyWhenAdding) {
  TestMonitorKey monitor;
  EventCapture events;
  monitor.PlantPort("Alpha");
  ASSERT_TRUE(MonitorInitialize(monitor.path()));

  DialogScript add;
  add.Then([](HWND dialog) {
       SetText(dialog, IDC_PORT_TCP_NAME, "printer7.example.com");
       FocusControl(dialog, IDC_PORT_NAME_EDIT);
       SetText(dialog, IDC_PORT_NAME_EDIT, "ALPHA");
       PostClick(dialog, IDOK);
     })
      .Then([this](HWND dialog) {
        ASSERT_EQ(1u, boxes.boxes().size());
        EXPECT_EQ(ErrorText("The port name is already in use.", "Please enter a valid new port name."),
                  boxes.boxes()[0].text);
        EXPECT_EQ(IDC_PORT_NAME_EDIT, FocusedControlId(dialog));
        PostClick(dialog, IDCANCEL);
      });
  EXPECT_EQ(0, Run(add, true));

  NewRecord();
  ExistingTcpPort("Alpha");
  DialogScript configure;
  configure.Then([](HWND dialog) { PostClick(dialog, IDOK); });
  EXPECT_EQ(1, Run(configure, false));
}

// Enter in a field runs OK while the field still has the focus; the error box then takes the
// focus, and that loss must not complete the fields a second time.
TEST_F(PortDialogTest, EnterInAFieldWithABadNameShowsOneBoxAndNoFocusLossCompletion) {
  static int nameLookups = 0;
  SetTcpResolver([](const char*) -> hostent* { ++nameLookups; return nullptr; },
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
        EXPECT_EQ(ErrorText("A TCP/IP name may contain only the characters\n0-9, a-z, A-Z, period (.) and hyphen (-).",
                            "Please enter a valid TCP/IP name."),
                  boxes.boxes()[0].text);
        EXPECT_EQ(1, nameLookups);  // the OK procedure's own completion only
        EXPECT_EQ(IDC_PORT_TCP_NAME, FocusedControlId(dialog));
        PostClick(dialog, IDCANCEL);
      });
  EXPECT_EQ(0, Run(script, true));
}

TEST_F(PortDialogTest, NameChangedAndEnteredWithoutLeavingTheFieldIsResolvedAfresh) {
  DialogScript script;
  script
      .Then([](HWND dialog) {
        SetText(dialog, IDC_PORT_TCP_NAME, "printer7.example.com");
        FocusControl(dialog, IDC_PORT_NAME_EDIT);
      })
      .Then([](HWND dialog) {
        EXPECT_EQ("10.0.0.7", ControlText(dialog, IDC_PORT_TCP_ADDRESS));
        FocusControl(dialog, IDC_PORT_TCP_NAME);
        SetText(dialog, IDC_PORT_TCP_NAME, "prn20.example.com");
        PressKey(dialog, VK_RETURN);
      });
  EXPECT_EQ(1, Run(script, true));
  EXPECT_STREQ("10.0.0.20", record->tcpAddress);
  EXPECT_STREQ("prn20", record->portName);
}

TEST_F(PortDialogTest, HelpOpensTheTopicOfTheModeAndCancelClosesIt) {
  for (bool add : {true, false}) {
    NewRecord();
    ExistingTcpPort("alpha");
    DialogScript script;
    script.Then([](HWND dialog) { PostClick(dialog, IDC_HELP_BUTTON); })
        .Then([add](HWND dialog) {
          HWND viewer = FindWindowA(kHelpWindowClass, nullptr);
          ASSERT_NE(nullptr, viewer);
          EXPECT_EQ(add ? "Adding a port" : "Configuring a port", ControlText(viewer, IDC_HELP_TITLE));
          PostClick(dialog, IDCANCEL);
        });
    EXPECT_EQ(0, Run(script, add));
    EXPECT_EQ(1u, record->helpUsed);
    EXPECT_EQ(nullptr, FindWindowA(kHelpWindowClass, nullptr)) << add;
  }
}

}  // namespace
