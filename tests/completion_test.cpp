#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "model/portconfig.h"
#include "names/resolve.h"
#include "portdlg/completion.h"
#include "testresolver.h"

namespace {

// An add dialog's completion without a window: printer7 and prn20 resolve, and the VTLnet
// stand-in knows PRN20 (1.20) and prn21 (1.21).
class CompletionTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    LoadVnetLibrary();
    StartSockets();
  }
  static void TearDownTestSuite() { StopSockets(); }

  void SetUp() override {
    resolver.Add("printer7.example.com", "10.0.0.7");
    resolver.Add("prn20.example.com", "10.0.0.20");
  }
  void TearDown() override { DestroyPortConfig(record); }

  void Open(bool tcp) {
    DestroyPortConfig(record);
    record = CreatePortConfig(nullptr, nullptr);
    AllowAllProtocols(record);
    record->addMode = 1;
    tcp ? SelectTcp(record) : SelectVnet(record);
    CompleteFields(record, nullptr);
  }
  void Leave(PrinterField field, const char* text) {
    TakePrinterText(record, field, text);
    CompleteFields(record, nullptr);
  }
  void LeavePortName(const char* text) {
    TakePortNameText(record, text);
    CompleteFields(record, nullptr);
  }
  std::string Fields() const {
    return std::string(record->tcpName) + "|" + record->tcpAddress + "|" + record->portName;
  }

  TestResolver resolver;
  PortConfig* record = nullptr;
};

TEST_F(CompletionTest, TcpFieldsCompleteEachOtherAndNeverReplaceWhatWasTyped) {
  Open(true);
  Leave(PrinterField::TcpName, "printer7.example.com");
  EXPECT_EQ("printer7.example.com|10.0.0.7|printer7", Fields());
  Leave(PrinterField::TcpName, "prn20.example.com");
  EXPECT_EQ("prn20.example.com|10.0.0.20|prn20", Fields());
  LeavePortName("  front desk ");
  Leave(PrinterField::TcpName, "printer7.example.com");
  EXPECT_EQ("printer7.example.com|10.0.0.7|front desk", Fields());

  Open(true);
  Leave(PrinterField::TcpAddress, "10.0.0.7");
  EXPECT_EQ("printer7.example.com|10.0.0.7|printer7", Fields());
  Open(true);
  Leave(PrinterField::TcpAddress, "10.9.9.9");
  EXPECT_EQ("|10.9.9.9|10.9.9.9", Fields());
  Open(true);
  LeavePortName("my#port");
  Leave(PrinterField::TcpAddress, "10.9.9.9");
  EXPECT_EQ("myport|10.9.9.9|my#port", Fields());

  Open(true);
  Leave(PrinterField::TcpName, "myprinter");
  Leave(PrinterField::TcpAddress, "10.0.0.7");
  EXPECT_EQ("myprinter|10.0.0.7|myprinter", Fields());
  Leave(PrinterField::TcpName, "");
  EXPECT_EQ("printer7.example.com|10.0.0.7|printer7", Fields());
  // Leaving the completed name as it is does not make it typed: a new address renames it.
  Leave(PrinterField::TcpName, "printer7.example.com");
  Leave(PrinterField::TcpAddress, "10.0.0.20");
  EXPECT_EQ("prn20.example.com|10.0.0.20|prn20", Fields());
}

TEST_F(CompletionTest, SwitchingProtocolDerivesOnlyAValidName) {
  struct Case {
    const char* tcpName;
    const char* vnetAddress;  // typed before the switch
    const char* vnetName;
    const char* expectedAddress;
  } cases[] = {
      {"prn20.example.com", "", "prn20", "1.20"},
      {"printer7.example.com", "", "", ""},  // "printer" has seven characters: too long
      {"printer7.example.com", "1.21", "prn21", "1.21"},
  };
  for (const Case& c : cases) {
    Open(true);
    Leave(PrinterField::TcpName, c.tcpName);
    TakePrinterText(record, PrinterField::VnetAddress, c.vnetAddress);
    SwitchProtocol(record, nullptr, false);
    EXPECT_TRUE(IsVnetSelected(record) && !IsTcpSelected(record));
    EXPECT_STREQ(c.vnetName, record->vnetName) << c.tcpName << " " << c.vnetAddress;
    EXPECT_STREQ(c.expectedAddress, record->vnetAddress) << c.tcpName << " " << c.vnetAddress;
  }

  Open(false);
  Leave(PrinterField::VnetAddress, "1.20");
  SwitchProtocol(record, nullptr, true);
  EXPECT_STREQ("prn20", record->tcpName);  // the library's node name, in lower case
}

// A backslash would make a port name a registry path; a name is never read past 50 characters.
TEST(Derivations, LeaveOutBackslashesAndKeepToTheirBoundaries) {
  char result[kDerivedSize];
  CopyToSeparator("a\\b.c", '.', result);
  EXPECT_STREQ("ab", result);
  const std::string fifty(50, 'x');
  CopyToSeparator((fifty + "yy.z").c_str(), '.', result);
  EXPECT_EQ(fifty, result);
  StripHashes((std::string(49, 'x') + "##yz").c_str(), result);
  EXPECT_EQ(std::string(49, 'x'), result);
  DeriveVnetName("123456", result);  // no letter
  EXPECT_STREQ("", result);
}

}  // namespace
