#include "testresolver.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "names/resolve.h"

TestResolver* TestResolver::active_ = nullptr;

TestResolver::TestResolver() {
  EXPECT_EQ(nullptr, active_) << "one TestResolver at a time";
  active_ = this;
  SetTcpResolver(ByName, ByAddress);
}

TestResolver::~TestResolver() {
  SetTcpResolver(nullptr, nullptr);
  active_ = nullptr;
}

void TestResolver::Add(const std::string& name, const char* address) {
  Host host = {name, inet_addr(address), {}, {}};
  auto* ipv6 = reinterpret_cast<sockaddr_in6*>(&host.socketAddress);
  ASSERT_TRUE(host.address != INADDR_NONE || inet_pton(AF_INET6, address, &ipv6->sin6_addr) == 1) << address;
  if (host.address != INADDR_NONE) reinterpret_cast<sockaddr_in*>(&host.socketAddress)->sin_addr.s_addr = host.address;
  host.entry.ai_family = host.socketAddress.ss_family = host.address != INADDR_NONE ? AF_INET : AF_INET6;
  host.entry.ai_addrlen = sizeof host.socketAddress;
  hosts_.push_back(host);
}

hostent* TestResolver::ByName(const char* name) {
  for (const Host& host : active_->hosts_) {
    if (lstrcmpiA(host.name.c_str(), name) == 0 && host.address != INADDR_NONE) return Answer(&host);
  }
  return nullptr;
}

// The answer links the hosts' own entries: it lives as long as the table.
int WSAAPI TestResolver::AddressInfo(const char* node, const char*, const addrinfo*, addrinfo** result) {
  addrinfo** next = result;
  for (Host& host : active_->hosts_) {
    if (lstrcmpiA(host.name.c_str(), node) != 0) continue;
    host.entry.ai_addr = reinterpret_cast<sockaddr*>(&host.socketAddress);
    *next = &host.entry;
    next = &host.entry.ai_next;
  }
  *next = nullptr;
  return *result ? 0 : WSAHOST_NOT_FOUND;
}

hostent* TestResolver::ByAddress(const char* address, int length, int family) {
  if (length != sizeof(unsigned long) || family != AF_INET) return nullptr;
  for (const Host& host : active_->hosts_) {
    if (memcmp(&host.address, address, sizeof host.address) == 0) return Answer(&host);
  }
  return nullptr;
}

// The entry lives until the next lookup, as WinSock's does.
hostent* TestResolver::Answer(const Host* host) {
  static std::string name;
  static unsigned long address;
  static char* addresses[2];
  static char* noAliases[1];
  static hostent entry;
  name = host->name;
  address = host->address;
  addresses[0] = reinterpret_cast<char*>(&address);
  noAliases[0] = nullptr;
  entry.h_name = name.data();
  entry.h_aliases = noAliases;
  entry.h_addrtype = AF_INET;
  entry.h_length = sizeof address;
  entry.h_addr_list = addresses;
  return &entry;
}
