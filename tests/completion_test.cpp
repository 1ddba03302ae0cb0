#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "model/portconfig.h"
#include "names/resolve.h"
#include "portdlg/completion.h"
#include "testresolver.h"

namespace {

// Leaving a field of the add dialog with a text (printer fields in PrinterField order), or a protocol click.
enum Action { TcpName, TcpAddress, VnetName, VnetAddress, PortName, ToVnet, ToTcp };
struct Step { Action action; const char* text = ""; };

// Plays the steps on a new record that opened on TCP/IP; answers "tcpName|tcpAddress|vnetName|vnetAddress|port".
std::string Complete(const std::vector<Step>& steps) {
  PortConfig* record = CreatePortConfig(nullptr, nullptr);
  SelectTcp(record);
  CompleteFields(record, nullptr);
  for (const Step& step : steps) {
    if (step.action >= ToVnet) SwitchProtocol(record, nullptr, step.action == ToTcp);
    if (step.action == PortName) TakePortNameText(record, step.text);
    if (step.action < PortName) TakePrinterText(record, static_cast<PrinterField>(step.action), step.text);
    if (step.action <= PortName) CompleteFields(record, nullptr);
  }
  std::string fields = std::string(record->tcpName) + "|" + record->tcpAddress + "|" + record->vnetName + "|" +
                       record->vnetAddress + "|" + record->portName;
  DestroyPortConfig(record);
  return fields;
}

// printer7 and prn20 resolve; the VTLnet stand-in knows PRN20 (1.20) and prn21 (1.21).
TEST(Completion, FillsWhatWasNotTypedAndNeverReplacesWhatWas) {
  LoadVnetLibrary();
  TestResolver resolver;
  resolver.Add("printer7.example.com", "10.0.0.7");
  resolver.Add("prn20.example.com", "10.0.0.20");
  const struct {
    std::vector<Step> steps;
    const char* fields;
  } cases[] = {
      // The port name follows the host part of the name, without backslashes, until one is typed.
      {{{TcpName, "printer7.example.com"}, {TcpName, "prn20.example.com"}}, "prn20.example.com|10.0.0.20|||prn20"},
      {{{TcpName, "a\\b.example"}}, "a\\b.example||||ab"},
      {{{PortName, "  front desk "}, {TcpName, "printer7.example.com"}}, "printer7.example.com|10.0.0.7|||front desk"},
      {{{TcpAddress, "10.9.9.9"}}, "|10.9.9.9|||10.9.9.9"},
      // An address that names no host takes its name from the port name, without "#".
      {{{PortName, "my#port"}, {TcpAddress, "10.9.9.9"}}, "myport|10.9.9.9|||my#port"},
      {{{TcpName, "myprinter"}, {TcpAddress, "10.0.0.7"}}, "myprinter|10.0.0.7|||myprinter"},
      // Emptying a typed name lets the address name it; a completed name left as it stands is not typed.
      {{{TcpName, "myprinter"}, {TcpAddress, "10.0.0.7"}, {TcpName, ""}, {TcpName, "printer7.example.com"},
        {TcpAddress, "10.0.0.20"}},
       "prn20.example.com|10.0.0.20|||prn20"},
      // A switch derives the other protocol's name only where it is valid ("printer" is too long);
      // a typed VTLnet address is looked up instead, its node name in lower case.
      {{{TcpName, "prn20.example.com"}, {ToVnet}}, "prn20.example.com|10.0.0.20|prn20|1.20|prn20"},
      {{{TcpName, "printer7.example.com"}, {ToVnet}}, "printer7.example.com|10.0.0.7|||printer7"},
      {{{TcpName, "printer7.example.com"}, {VnetAddress, "1.21"}, {ToVnet}},
       "printer7.example.com|10.0.0.7|prn21|1.21|prn21"},
      {{{ToVnet}, {VnetAddress, "1.20"}, {ToTcp}}, "prn20||prn20|1.20|prn20"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.fields, Complete(c.steps)) << c.fields;
}

// A name is never read past 50 characters, so it always fits the derivation's buffer.
TEST(Completion, DerivationsReadNoMoreThanFiftyCharacters) {
  char cut[kDerivedSize], stripped[kDerivedSize];
  CopyToSeparator((std::string(50, 'x') + "yy.z").c_str(), '.', cut);
  StripHashes((std::string(49, 'x') + "##yz").c_str(), stripped);
  EXPECT_EQ(std::string(99, 'x'), std::string(cut) + stripped);
}

}  // namespace
