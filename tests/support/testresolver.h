// Answers the TCP/IP lookups of the code under test from a table of the test's own, for the life
// of the owner: a host in the table resolves to its address and back, every other name and
// address is not found. WinSock answers again afterwards. One at a time.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include <string>
#include <vector>

class TestResolver {
public:
  TestResolver();
  ~TestResolver();
  TestResolver(const TestResolver&) = delete;
  TestResolver& operator=(const TestResolver&) = delete;

  // A host and its address, IPv4 or IPv6 (the host entries give the first IPv4 one); a host added
  // again has each, in order. Looking an IPv4 address up answers the first host added.
  void Add(const std::string& name, const char* address);

  // getaddrinfo and freeaddrinfo from the table, every address of the host: for a module whose
  // imports of them a test points here.
  static int WSAAPI AddressInfo(const char* node, const char* service, const addrinfo* hints, addrinfo** result);
  static void WSAAPI FreeAddressInfo(addrinfo*) {}

private:
  struct Host {
    std::string name;
    unsigned long address;  // INADDR_NONE for an IPv6 one
    sockaddr_storage socketAddress;
    addrinfo entry;
  };
  static hostent* ByName(const char* name);
  static hostent* ByAddress(const char* address, int length, int family);
  static hostent* Answer(const Host* host);

  static TestResolver* active_;
  std::vector<Host> hosts_;
};
