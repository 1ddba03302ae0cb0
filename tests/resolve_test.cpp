#include <gtest/gtest.h>

#include <windows.h>
#include <winsock2.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "names/resolve.h"
#include "testresolver.h"

namespace {

using Lookup = void (*)(const char* input, char* text, int size);

// Runs a lookup into a marked buffer; fails the test when it writes past `size` or leaves no NUL.
std::string Answer(Lookup lookUp, const char* input, int size) {
  char text[80] = {};
  memset(text, '#', sizeof text - 1);
  lookUp(input, text, size);
  EXPECT_TRUE(text[size] == '#' && memchr(text, '\0', size)) << "wrote past " << size << " bytes or left no NUL";
  return text;
}

// WinSock starts are counted; a lookup answers whole or not at all and leaves the library's storage alone.
TEST(ResolveTest, AnswersAreWholeOrEmptyAndTheLibrarysNamesAreLeftAlone) {
  LoadVnetLibrary();
  ASSERT_TRUE(StartSockets() == EXC_S_SUCCESS && StartSockets() == EXC_S_SUCCESS);
  EXPECT_TRUE(StopSockets() == EXC_S_SUCCESS && IsTcpAvailable());
  EXPECT_EQ("127.0.0.1", Answer(TcpNameToAddress, "localhost", 16));

  TestResolver resolver;
  resolver.Add("printer7.example.com", "192.168.100.200");
  resolver.Add(std::string(50, 'n'), "10.0.0.50");
  const Lookup tcpAddress = TcpNameToAddress, tcpName = TcpAddressToName, vnetAddress = VnetNameToAddress,
               vnetName = VnetAddressToName;
  const struct { Lookup lookUp; const char* input; int size; std::string answer; } cases[] = {
      {tcpAddress, "printer7.example.com", 16, "192.168.100.200"}, {tcpAddress, "printer7.example.com", 15, ""},
      {tcpAddress, "printer8.example.com", 16, ""},                {tcpName, "10.0.0.50", 51, std::string(50, 'n')},
      {tcpName, "10.0.0.50", 50, ""}, {vnetAddress, "EDGE", 8, "63.1023"}, {vnetAddress, "EDGE", 7, ""},
      {vnetName, "2.7", 9, "plotter7"}, {vnetName, "2.7", 8, ""}, {vnetName, "1.20x", 7, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.answer, Answer(c.lookUp, c.input, c.size)) << c.input << " in " << c.size;
  for (Lookup lookUp : {tcpAddress, tcpName, vnetAddress, vnetName}) {
    EXPECT_EQ("", Answer(lookUp, "", 16) + Answer(lookUp, nullptr, 16));
    char untouched[4] = "abc";
    EXPECT_STREQ("abc", (lookUp("1.20", untouched, 0), untouched));
    lookUp("1.20", nullptr, 16);  // no output: nothing to write, and no crash
  }
  VnetNodeEntry* node = VnetGetNodeByAddr("\x14\x04", 2, kVnetFamily);
  ASSERT_TRUE(node && node == VnetGetNodeByName("PRN20")) << "both lookups answer in the same storage";
  // The library holds the name as PRN20; the lookup answers it in lower case.
  EXPECT_EQ("prn20 PRN20", Answer(VnetAddressToName, "1.20", 7) + " " + node->name);

  // An address that does not parse is never looked up, even where any address would name a host.
  static hostent anyHost = {const_cast<char*>("anyhost"), nullptr, AF_INET, 4, nullptr};
  SetTcpResolver(nullptr, [](const char*, int, int) { return &anyHost; });
  EXPECT_EQ("anyhost|", Answer(tcpName, "10.0.0.1", 50) + "|" + Answer(tcpName, "255.255.255.255", 50));
  EXPECT_TRUE(StopSockets() == EXC_S_SUCCESS && !IsTcpAvailable());
}

// A node file of the test's own, read by a copy of the library in a directory of its own.
TEST(ResolveTest, LibrarySkipsMalformedNodeLines) {
  char temp[MAX_PATH], program[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  GetModuleFileNameA(nullptr, program, MAX_PATH);
  const std::string directory = std::string(temp) + "vnetw-" + std::to_string(GetCurrentProcessId());
  const std::string library = directory + "\\vnetw.dll", nodes = directory + "\\vnetnodes.txt";
  const std::string tooLong(32, 'L'), cut(31, 'L');  // a name too long is skipped, not cut
  ASSERT_TRUE(CreateDirectoryA(directory.c_str(), nullptr));
  CopyFileA((std::string(program, strrchr(program, '\\') + 1) + "vnetw.dll").c_str(), library.c_str(), TRUE);
  if (FILE* file = fopen(nodes.c_str(), "wb")) {
    fprintf(file, "# nodes\r\n\t1.1\tTABBED\t# comment\r\n2.2\r\n64.1 BADAREA\n3.3 TWO WORDS\n4.4 %s\n"
                  "%*s5.5 WRAPPED\n6.6 FIRST\n7.7 first\n8.8 LAST", tooLong.c_str(), 300, "");
    fclose(file);
  }
  HMODULE copy = LoadLibraryA(library.c_str());
  auto byName = reinterpret_cast<VnetGetNodeByNameProc>(
      copy ? reinterpret_cast<void*>(GetProcAddress(copy, "getnodebyname")) : nullptr);
  std::string found;  // the address and name of each node found, in the order asked for
  for (const char* name : {"tabbed", "BADAREA", "TWO", cut.c_str(), "WRAPPED", "First", "last"})
    if (VnetNodeEntry* node = byName ? byName(name) : nullptr)
      found += std::to_string(node->address[0] | node->address[1] << 8) + " " + node->name + ";";
  // The first of two lines with one name counts; the last line needs no line end.
  EXPECT_EQ("1025 TABBED;6150 FIRST;8200 LAST;", found);
  if (copy) FreeLibrary(copy);
  DeleteFileA(nodes.c_str());
  DeleteFileA(library.c_str());
  RemoveDirectoryA(directory.c_str());
}

}  // namespace
