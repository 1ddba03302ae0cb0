#include "testresolver.h"

#include <windows.h>
#include <winsock.h>

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
  unsigned long number = inet_addr(address);
  ASSERT_NE(INADDR_NONE, number) << address;
  hosts_.push_back({name, number});
}

hostent* TestResolver::ByName(const char* name) {
  for (const Host& host : active_->hosts_) {
    if (lstrcmpiA(host.name.c_str(), name) == 0) return Answer(&host);
  }
  return nullptr;
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
