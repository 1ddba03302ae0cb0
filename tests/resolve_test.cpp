#include <gtest/gtest.h>

#include <windows.h>
#include <winsock.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "names/resolve.h"
#include "testresolver.h"

namespace {

using Lookup = void (*)(const char* input, char* text, int size);

// Runs a lookup into a marked buffer; fails the test when it writes past `size` or leaves no NUL.
std::string Answer(Lookup lookUp, const char* input, int size) {
  char text[80];
  memset(text, '#', sizeof text);
  lookUp(input, text, size);
  EXPECT_EQ('#', text[size]) << "wrote past the output size";
  EXPECT_NE(nullptr, memchr(text, '\0', static_cast<size_t>(size))) << "left no terminator";
  return text;
}

class ResolveTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { LoadVnetLibrary(); }
  void SetUp() override { ASSERT_EQ(EXC_S_SUCCESS, StartSockets()); }
  void TearDown() override { StopSockets(); }
};

TEST_F(ResolveTest, AnswersAreWholeOrEmpty) {
  TestResolver resolver;
  resolver.Add("printer7.example.com", "192.168.100.200");
  resolver.Add(std::string(49, 'n'), "10.0.0.49");
  resolver.Add(std::string(50, 'n'), "10.0.0.50");
  const Lookup tcpAddress = TcpNameToAddress, tcpName = TcpAddressToName, vnetAddress = VnetNameToAddress,
               vnetName = VnetAddressToName;
  const struct {
    Lookup lookUp;
    const char* input;
    int size;
    std::string answer;
  } cases[] = {
      {tcpAddress, "printer7.example.com", 16, "192.168.100.200"}, {tcpAddress, "printer7.example.com", 15, ""},
      {tcpAddress, "printer8.example.com", 16, ""},                {tcpName, "10.0.0.49", 50, std::string(49, 'n')},
      {tcpName, "10.0.0.50", 50, ""},                              {vnetAddress, "prn20", 8, "1.20"},
      {vnetAddress, "EDGE", 8, "63.1023"},                         {vnetAddress, "EDGE", 7, ""},
      {vnetAddress, "NOSUCH", 8, ""},                              {vnetName, "1.20", 7, "prn20"},  // stored as PRN20
      {vnetName, "2.7", 9, "plotter7"},                            {vnetName, "2.7", 7, ""},
      {vnetName, "5.5", 7, ""},                                    {vnetName, "1.20x", 7, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.answer, Answer(c.lookUp, c.input, c.size)) << c.input << " in " << c.size;

  for (Lookup lookUp : {tcpAddress, tcpName, vnetAddress, vnetName}) {
    EXPECT_EQ("", Answer(lookUp, "", 16));
    EXPECT_EQ("", Answer(lookUp, nullptr, 16));
    char untouched[4] = "abc";
    lookUp("1.20", untouched, 0);
    EXPECT_STREQ("abc", untouched);
    lookUp("1.20", nullptr, 16);  // no output: nothing to write, and no crash
  }
}

TEST_F(ResolveTest, AddressesThatDoNotParseAreNotLookedUp) {
  static hostent anyHost = {const_cast<char*>("anyhost"), nullptr, AF_INET, 4, nullptr};
  SetTcpResolver(nullptr, [](const char*, int, int) { return &anyHost; });
  EXPECT_EQ("anyhost", Answer(TcpAddressToName, "10.0.0.1", 50));
  EXPECT_EQ("", Answer(TcpAddressToName, "255.255.255.255", 50));
  EXPECT_EQ("", Answer(TcpAddressToName, "printer7", 50));
  SetTcpResolver(nullptr, nullptr);
}

TEST_F(ResolveTest, LowerCasingLeavesTheLibrarysNameAlone) {
  VnetNodeEntry* node = VnetGetNodeByName("PRN20");
  ASSERT_NE(nullptr, node);
  ASSERT_EQ(node, VnetGetNodeByAddr(reinterpret_cast<const char*>(node->address), 2, kVnetFamily))
      << "both lookups answer in the same storage";
  EXPECT_EQ("prn20", Answer(VnetAddressToName, "1.20", 7));
  EXPECT_STREQ("PRN20", node->name);
}

// A node file of the test's own, read by a copy of the library in a directory of its own.
TEST(NodeFileTest, MalformedLinesAreSkipped) {
  char temp[MAX_PATH];
  char program[MAX_PATH];
  ASSERT_NE(0u, GetTempPathA(MAX_PATH, temp));
  GetModuleFileNameA(nullptr, program, MAX_PATH);
  const std::string directory = std::string(temp) + "vnetw-" + std::to_string(GetCurrentProcessId());
  const std::string library = directory + "\\vnetw.dll";
  const std::string nodes = directory + "\\vnetnodes.txt";
  ASSERT_TRUE(CreateDirectoryA(directory.c_str(), nullptr));
  CopyFileA((std::string(program, strrchr(program, '\\') + 1) + "vnetw.dll").c_str(), library.c_str(), TRUE);
  if (FILE* file = fopen(nodes.c_str(), "wb")) {
    fprintf(file, "# nodes\r\n\t1.1\tTABBED\t# comment\r\n2.2\r\n64.1 BADAREA\n3.3 TWO WORDS\n4.4 %s\n"
                  "%*s5.5 WRAPPED\n6.6 FIRST\n7.7 first\n8.8 LAST", std::string(32, 'L').c_str(), 300, "");
    fclose(file);
  }
  HMODULE copy = LoadLibraryA(library.c_str());
  auto byName = reinterpret_cast<VnetGetNodeByNameProc>(
      copy ? reinterpret_cast<void*>(GetProcAddress(copy, "getnodebyname")) : nullptr);
  auto addressOf = [byName](const char* name) {
    VnetNodeEntry* node = byName ? byName(name) : nullptr;
    return node ? std::to_string(node->address[0] | node->address[1] << 8) + " " + node->name : std::string();
  };
  EXPECT_EQ("1025 TABBED", addressOf("tabbed"));
  for (const char* skipped : {"BADAREA", "TWO", "LLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLL", "WRAPPED"}) {
    EXPECT_EQ("", addressOf(skipped)) << skipped;
  }
  EXPECT_EQ("6150 FIRST", addressOf("First"));  // the first of two lines with one name
  EXPECT_EQ("8200 LAST", addressOf("last"));    // no line end after the last line
  if (copy) FreeLibrary(copy);
  DeleteFileA(nodes.c_str());
  DeleteFileA(library.c_str());
  RemoveDirectoryA(directory.c_str());
}

TEST(SocketsTest, StartsAndStopsAreCountedAndWinSockResolvesLocalhostBothWays) {
  ASSERT_EQ(EXC_S_SUCCESS, StartSockets());
  ASSERT_EQ(EXC_S_SUCCESS, StartSockets());
  EXPECT_EQ(EXC_S_SUCCESS, StopSockets());
  EXPECT_TRUE(IsTcpAvailable());
  EXPECT_EQ("127.0.0.1", Answer(TcpNameToAddress, "localhost", 16));
  EXPECT_NE("", Answer(TcpAddressToName, "127.0.0.1", 50));
  EXPECT_EQ(EXC_S_SUCCESS, StopSockets());
  EXPECT_FALSE(IsTcpAvailable());
}

}  // namespace
