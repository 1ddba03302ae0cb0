#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "model/portconfig.h"
#include "portdlg/completion.h"
#include "portdlg/resolve.h"
#include "testresolver.h"

namespace {

// The completion of an add dialog, driven as the dialog drives it but without a window: the
// printer7 and prn20 hosts resolve, and the VTLnet stand-in knows PRN20 (1.20) and prn21 (1.21).
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
    Open(true);
  }
  void TearDown() override { DestroyPortConfig(record); }

  // A fresh add dialog with the protocol selected and nothing typed yet.
  void Open(bool tcp) {
    if (record) DestroyPortConfig(record);
    record = CreatePortConfig(nullptr, nullptr);
    AllowAllProtocols(record);
    record->addMode = 1;
    tcp ? SelectTcp(record) : SelectVnet(record);
    CompleteFields(record, nullptr);
  }
  // The user leaves a field holding `text`.
  void Leave(PrinterField field, const char* text) {
    TakePrinterText(record, field, text);
    CompleteFields(record, nullptr);
  }
  void LeavePortName(const char* text) {
    TakePortNameText(record, text);
    CompleteFields(record, nullptr);
  }

  TestResolver resolver;
  PortConfig* record = nullptr;
};

TEST_F(CompletionTest, HostNameFillsAddressAndPortNameFollowsItUntilOneIsTyped) {
  Leave(PrinterField::TcpName, "printer7.example.com");
  EXPECT_STREQ("10.0.0.7", record->tcpAddress);
  EXPECT_STREQ("printer7", record->portName);

  Leave(PrinterField::TcpName, "prn20.example.com");  // a new name is resolved afresh
  EXPECT_STREQ("10.0.0.20", record->tcpAddress);
  EXPECT_STREQ("prn20", record->portName);

  LeavePortName("  front desk ");
  EXPECT_STREQ("front desk", record->portName);
  Leave(PrinterField::TcpName, "printer7.example.com");
  EXPECT_STREQ("10.0.0.7", record->tcpAddress);
  EXPECT_STREQ("front desk", record->portName);
}

TEST_F(CompletionTest, AddressNamesThePortOrTakesTheTypedPortNameAsHostName) {
  Leave(PrinterField::TcpAddress, "10.0.0.7");
  EXPECT_STREQ("printer7.example.com", record->tcpName);
  EXPECT_STREQ("printer7", record->portName);

  Open(true);
  Leave(PrinterField::TcpAddress, "10.9.9.9");  // no host has it
  EXPECT_STREQ("", record->tcpName);
  EXPECT_STREQ("10.9.9.9", record->portName);

  Open(true);
  LeavePortName("my#port");
  Leave(PrinterField::TcpAddress, "10.9.9.9");
  EXPECT_STREQ("myport", record->tcpName);
  EXPECT_STREQ("my#port", record->portName);
  EXPECT_STREQ("10.9.9.9", record->tcpAddress);
}

TEST_F(CompletionTest, SwitchingToVnetDerivesOnlyAValidNodeName) {
  struct Case {
    const char* tcpName;
    const char* vnetAddress;  // typed before the switch
    const char* vnetName;
    const char* expectedAddress;
  } cases[] = {
      {"prn20.example.com", "", "prn20", "1.20"},      // looked up in the library once derived
      {"printer7.example.com", "", "", ""},            // "printer" is seven characters: too long
      {"printer7.example.com", "1.21", "prn21", "1.21"},  // the library names a typed address
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

  // And back: the node name the library answers (in lower case) becomes the host name.
  Open(false);
  Leave(PrinterField::VnetAddress, "1.20");
  EXPECT_STREQ("prn20", record->vnetName);
  SwitchProtocol(record, nullptr, true);
  EXPECT_STREQ("prn20", record->tcpName);
}

TEST_F(CompletionTest, TypedHostNameIsNeverReplacedAndEmptyingItHandsItBack) {
  Leave(PrinterField::TcpName, "myprinter");
  Leave(PrinterField::TcpAddress, "10.0.0.7");
  EXPECT_STREQ("myprinter", record->tcpName);
  EXPECT_STREQ("myprinter", record->portName);

  Leave(PrinterField::TcpName, "");
  EXPECT_STREQ("printer7.example.com", record->tcpName);
  EXPECT_EQ(0u, record->tcpNameEntered);

  // Leaving the completed name as it is does not make it typed: a new address renames it.
  Leave(PrinterField::TcpName, "printer7.example.com");
  Leave(PrinterField::TcpAddress, "10.0.0.20");
  EXPECT_STREQ("prn20.example.com", record->tcpName);
}

TEST_F(CompletionTest, DerivationsKeepToTheirBoundaries) {
  const std::string sixty(60, 'x');
  const std::string fifty(50, 'x');
  char result[kDerivedSize];

  struct Copy {
    std::string text;
    char separator;
    const char* expected;
  } copies[] = {{"printer7.example.com", '.', "printer7"}, {"a\\b.c", '.', "ab"},
                {"10.0.0.7", 0, "10.0.0.7"},            {".lead", '.', ""},
                {sixty + ".x", '.', fifty.c_str()}};
  for (const Copy& c : copies) {
    CopyToSeparator(c.text.c_str(), c.separator, result);
    EXPECT_STREQ(c.expected, result) << c.text;
  }

  StripHashes("#a#b#", result);
  EXPECT_STREQ("ab", result);
  StripHashes((std::string(49, 'x') + "##yz").c_str(), result);
  EXPECT_STREQ(std::string(49, 'x').c_str(), result);

  struct Derive {
    const char* text;
    const char* expected;
  } derivations[] = {{"prn20.example.com", "prn20"}, {"abcdef", "abcdef"}, {"abcdefg", ""},
                     {"123456", ""},                 {"12a-x", "12a"},     {"-abc", ""}};
  for (const Derive& d : derivations) {
    DeriveVnetName(d.text, result);
    EXPECT_STREQ(d.expected, result) << d.text;
  }

  char trimmed[] = "  a b  ";
  TrimSpaces(trimmed);
  EXPECT_STREQ("a b", trimmed);
  char spaces[] = "   ";
  TrimSpaces(spaces);
  EXPECT_STREQ("", spaces);
  char tab[] = "\ta ";
  TrimSpaces(tab);
  EXPECT_STREQ("\ta", tab);
}

}  // namespace
