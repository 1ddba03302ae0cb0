// The Xcv commands called as the monitor library forwards them, against a monitor key of the
// test's own. A new port's name is checked against the spooler's list, so this takes the spooler lock.
#include <gtest/gtest.h>

#include <windows.h>
#include <winspool.h>

#include <string>
#include <vector>

#include "model/portlist.h"
#include "resource.h"
#include "testregistry.h"
#include "testresolver.h"
#include "xcv/xcv.h"

namespace {

std::vector<BYTE> Wire(const std::wstring& text) {
  const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
  return std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(WCHAR));
}

class XcvTest : public ::testing::Test {
protected:
  void SetUp() override {
    resolver.Add("printhost", "10.0.0.7");
    monitor.PlantPort("Kept");
    ASSERT_TRUE(MonitorInitialize(monitor.path()));
  }
  void TearDown() override { MonitorShutdown(); }

  DWORD Run(const WCHAR* command, const std::vector<BYTE>& input, std::wstring* output = nullptr,
            ACCESS_MASK access = SERVER_ACCESS_ADMINISTER) {
    XcvHandle handle{access};
    auto call = [&](BYTE* out, DWORD size, DWORD* got) {
      return XcvRunCommand(handle, command, input.data(), static_cast<DWORD>(input.size()), out, size, got);
    };
    DWORD needed = 0xBEEF, again = 0;
    DWORD status = call(nullptr, 0, &needed);
    if (status != ERROR_INSUFFICIENT_BUFFER) {
      EXPECT_TRUE(needed == 0 || command == kXcvImport) << "a command without output";
      return status;
    }
    std::vector<BYTE> buffer(needed);
    EXPECT_TRUE(call(buffer.data(), needed - 1, &again) == ERROR_INSUFFICIENT_BUFFER && again == needed);
    status = call(buffer.data(), needed, &needed);
    if (output) output->assign(reinterpret_cast<const WCHAR*>(buffer.data()));
    return status;
  }

  TestResolver resolver;
  TestMonitorKey monitor;
};

TEST_F(XcvTest, AddAndSetReachTheStoreAndTheListAndAReadGivesEverySetting) {
  std::wstring text;
  ASSERT_EQ(0u, Run(kXcvAddPort,
                    Wire(L"; by hand\nVersion=1\n[Ports\\Added]\nProtocol=2\nTCP/IP Name=printhost\n"
                         L"Set Input Tray=True\n")));
  EXPECT_EQ("printhost", monitor.GetString("Ports\\Added", "TCP/IP Name"));  // its address is looked up
  EXPECT_EQ(1u, monitor.GetDword("Ports\\Added", "Input Tray Number"));  // as the dialog starts a new port
  ASSERT_EQ(0u, Run(kXcvSetPort, Wire(L"Version=1\r\n[Ports\\added]\r\nBanner=true\r\nInput Tray Number=0\r\n"
                                     L"LPR Queue=q<09><3C>41><x>\r\nTCP/IP Port Number=65535\r\nSend Timeout=5\r\n"
                                     L"SNMP Status=False\r\nSNMP Port Number=1161\r\n")));
  // A value that is off by default is stored as False; one at its initial value is not stored.
  EXPECT_EQ("False", monitor.GetString("Ports\\Added", "SNMP Status"));
  EXPECT_FALSE(monitor.HasValue("Ports\\Added", "SNMP Device Index"));
  ASSERT_EQ(0u, Run(kXcvGetPort, Wire(L"Added"), &text, 0));  // reading needs no right
  EXPECT_EQ(
      L"Version=1\r\n[Ports\\Added]\r\nProtocol=2\r\nTCP/IP Name=printhost\r\nTCP/IP Address=\r\nVTLnet Name=\r\n"
      L"VTLnet Address=\r\nBanner=True\r\nSet Banner Tray=False\r\nBanner Tray Number=0\r\nSet Input Tray=True\r\n"
      L"Input Tray Number=0\r\nSet Output Tray=False\r\nOutput Tray Number=0\r\nVTLlaser TCP/IP=False\r\n"
      L"TCP/IP Port Number=65535\r\nLPR Queue=q<09><3C>41><x>\r\nSend Timeout=5\r\nSNMP Status=False\r\n"
      L"SNMP Community=\r\nSNMP Device Index=1\r\nSNMP Port Number=1161\r\n",
      text);
  EXPECT_EQ(0u, monitor.GetDword("Ports\\Added", "Input Tray Number"));  // still a number
  EXPECT_EQ("q\t<41><x>", monitor.GetString("Ports\\Added", "LPR Queue"));
  ASSERT_TRUE(FindPortEntry("Added") && FindPortEntry("Added")->banner);  // the list's node, by its stored name
}

// A set that names no printer keeps both pairs as stored, though one name resolves and one does not.
TEST_F(XcvTest, SetKeepsThePrintersItDoesNotNameAndOptionsReachTheMonitor) {
  std::wstring text;
  monitor.PlantPort("Added");
  const char* const printers[][2] = {{"TCP/IP Name", "printhost"}, {"TCP/IP Address", "10.0.0.9"},
                                     {"VTLnet Name", "nonode"}, {"VTLnet Address", "1.2"}};
  for (const auto& [name, value] : printers) monitor.SetString("Ports\\Added", name, value);
  ASSERT_EQ(0u, Run(kXcvSetPort, Wire(L"Version=1\n[Ports\\Added]\nBanner=False\n")));
  for (const auto& [name, value] : printers) EXPECT_EQ(value, monitor.GetString("Ports\\Added", name)) << name;
  EXPECT_TRUE(Run(kXcvMonitorUi, {}, &text) == 0 && text == L"vtlpmui.dll");  // from the administrator's system32

  ASSERT_EQ(0u, Run(kXcvSetOptions, Wire(L"Version=1\n[Options]\nLogging Level=3\nBubble=True\n")));
  LogOptions options = {};
  MonitorGetLogOptions(&options);
  EXPECT_TRUE(options.loggingLevel == 3 && monitor.GetDword("Options", "Logging Level") == 3);
}

// An import is one request: every section checked, stored, and the list updated; an answer too
// large for the buffer is kept for the handle's next call, if it is the same read.
TEST_F(XcvTest, ImportIsOneRequestAndAKeptAnswerServesOnlyTheSameRead) {
  const std::vector<BYTE> import = Wire(L"Version=1\n[Ports\\kept]\nBanner=True\n[Ports\\Imported]\nProtocol=2\n"
                                        L"TCP/IP Address=10.0.0.3\n[Options]\nLogging Level=2\n");
  WCHAR answer[16] = {};
  DWORD needed = 0;
  XcvHandle handle{SERVER_ACCESS_ADMINISTER};
  EXPECT_EQ(0u, XcvRunCommand(handle, kXcvImport, import.data(), DWORD(import.size()),
                              reinterpret_cast<BYTE*>(answer), sizeof answer, &needed));
  EXPECT_STREQ(L"Stored=3\r\n", answer);
  EXPECT_TRUE(FindPortEntry("Imported") && FindPortEntry("Kept")->banner);
  EXPECT_EQ(2u, monitor.GetDword("Options", "Logging Level"));
  WCHAR out[4096];
  auto call = [&](const WCHAR* command, const std::vector<BYTE>& in, DWORD size) {
    out[0] = 0;
    return XcvRunCommand(handle, command, in.data(), DWORD(in.size()), reinterpret_cast<BYTE*>(out), size, &needed);
  };
  EXPECT_EQ(DWORD{ERROR_INSUFFICIENT_BUFFER}, call(kXcvGetPort, Wire(L"Kept"), 0));
  EXPECT_TRUE(call(kXcvGetPort, Wire(L"Imported"), sizeof out) == 0 && wcsstr(out, L"[Ports\\Imported]"));
  EXPECT_EQ(DWORD{ERROR_INSUFFICIENT_BUFFER}, call(kXcvGetPorts, {}, 0));
  ASSERT_EQ(0u, call(kXcvDeletePort, Wire(L"Imported"), 0));
  EXPECT_TRUE(call(kXcvGetPorts, {}, sizeof out) == 0 && !wcsstr(out, L"[Ports\\Imported]") && out[0]);
  EXPECT_TRUE(!monitor.HasKey("Ports\\Imported") && !FindPortEntry("Imported"));
}

// Every refusal leaves the store as it was: the same text before and after, no new key.
TEST_F(XcvTest, RefusesHostileInputAndWritesNothing) {
  auto everything = [&] { std::wstring text; EXPECT_EQ(0u, Run(kXcvGetPorts, {}, &text)); return text; };
  const std::wstring tcp = L"]\nProtocol=2\nTCP/IP Address=10.0.0.1\n", good = L"Version=1\n[Ports\\New" + tcp;
  auto port = [&](const std::wstring& name) { return Wire(L"Version=1\n[Ports\\" + name + tcp); };
  const std::wstring before = everything();
  const std::vector<BYTE> whole = Wire(good);
  const struct { const WCHAR* command; std::vector<BYTE> input; DWORD status; } cases[] = {
      {kXcvAddPort, Wire(good + L'\0' + L"x"), ERROR_INVALID_DATA},
      {kXcvAddPort, Wire(std::wstring(kXcvMaxInputBytes / sizeof(WCHAR), L' ')), ERROR_INVALID_DATA},
      {kXcvAddPort, Wire(L"Version=2\n[Ports\\New]\nProtocol=2\n"), ERROR_REVISION_MISMATCH},
      {kXcvAddPort, Wire(good + L"TCP/IP Name=" + std::wstring(kTcpNameSize, L'a') + L"\n"), ERROR_INVALID_DATA},
      {kXcvAddPort, port(std::wstring(kPortNameSize, L'n')), ERROR_INVALID_DATA},
      {kXcvAddPort, Wire(good + L"TCP/IP Name=a\tb\n"), ERROR_INVALID_DATA},
      {kXcvAddPort, Wire(good + L"[Ports\\Other]\nProtocol=2\n"), ERROR_INVALID_DATA},
      {kXcvAddPort, Wire(L"Version=1\n[Ports\\New]\nProtocol=3\n"), ERROR_INVALID_DATA},
      {kXcvAddPort, port(L"N\u4E00w"), ERROR_INVALID_DATA},
      {kXcvAddPort, Wire(good + L"Banner Tray Number=4294967296\n"), XcvRefusal(IDS_INVALID_INPUT_TRAY)},
      {kXcvAddPort, Wire(good + L"Output Tray Number=x\n"), XcvRefusal(IDS_INVALID_OUTPUT_TRAY)},
      {kXcvAddPort, Wire(good + L"TCP/IP Port Number=65536\n"), ERROR_INVALID_DATA},
      {kXcvAddPort, Wire(good + L"LPR Queue=a<00>\n"), ERROR_INVALID_DATA},
      {kXcvAddPort, Wire(good + L"VTLnet Address=64.1\n"), XcvRefusal(IDS_VNET_ADDRESS_INCORRECT)},  // though unused
      {kXcvAddPort, port(L"A\\B"), XcvRefusal(IDS_PORT_NAME_BACKSLASH)},
      {kXcvAddPort, port(L""), XcvRefusal(IDS_PORT_NAME_REQUIRED)},
      {kXcvAddPort, port(L"kept"), XcvRefusal(IDS_PORT_NAME_IN_USE)},
      {kXcvSetPort, Wire(L"Version=1\n[Ports\\kept]\nTCP/IP Address=255.255.255.255\n"),
       XcvRefusal(IDS_TCP_ADDRESS_INCORRECT)},
      // An import is checked whole: a refused section stores nothing, New included.
      {kXcvImport, Wire(good + L"[Ports\\kept]\nTCP/IP Address=255.255.255.255\n"),
       XcvRefusal(IDS_TCP_ADDRESS_INCORRECT)},
      {kXcvImport, Wire(good + L"[Ports\\NEW" + tcp), ERROR_INVALID_DATA},  // a section twice, in any case
      {kXcvSetPort, Wire(L"Version=1\n[Ports\\New]\nBanner=True\n"), ERROR_UNKNOWN_PORT},
      {kXcvDeletePort, Wire(L"Gone"), ERROR_UNKNOWN_PORT},
      {kXcvDeletePort, std::vector<BYTE>{'K', 0}, ERROR_INVALID_DATA},
  };
  for (const auto& c : cases) EXPECT_EQ(c.status, Run(c.command, c.input)) << "case " << &c - cases;
  // The good text cut at every length, terminated or not.
  for (size_t size = 0; size < whole.size(); ++size)
    EXPECT_NE(0u, Run(kXcvAddPort, std::vector<BYTE>(whole.begin(), whole.begin() + size))) << size;
  XcvHandle handle{SERVER_ACCESS_ADMINISTER};
  DWORD needed = 0;
  for (const auto& [command, inSize, outSize] :
       {std::tuple{kXcvAddPort, 8u, 0u}, {nullptr, 0u, 0u}, {kXcvGetPorts, 0u, 4u}})
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER),
              XcvRunCommand(handle, command, nullptr, inSize, nullptr, outSize, &needed));
  for (const WCHAR* change : {kXcvAddPort, kXcvSetPort, kXcvDeletePort, kXcvSetOptions, kXcvImport})
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), Run(change, Wire(good), nullptr, SERVER_ACCESS_ENUMERATE));
  EXPECT_TRUE(before == everything() && !monitor.HasKey("Ports\\New"));
  EXPECT_EQ(0u, Run(kXcvAddPort, Wire(good)));  // the same text whole is taken
}

}  // namespace
