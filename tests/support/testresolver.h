// Answers the TCP/IP lookups of the code under test from a table of the test's own, for the life
// of the owner: a host in the table resolves to its address and back, every other name and
// address is not found. WinSock answers again afterwards. One at a time.
#pragma once

#include <string>
#include <vector>

struct hostent;

class TestResolver {
public:
  TestResolver();
  ~TestResolver();
  TestResolver(const TestResolver&) = delete;
  TestResolver& operator=(const TestResolver&) = delete;

  // A host and its dotted IPv4 address; looking the address up answers the first host added.
  void Add(const std::string& name, const char* address);

private:
  struct Host {
    std::string name;
    unsigned long address;
  };
  static hostent* ByName(const char* name);
  static hostent* ByAddress(const char* address, int length, int family);
  static hostent* Answer(const Host* host);

  static TestResolver* active_;
  std::vector<Host> hosts_;
};
