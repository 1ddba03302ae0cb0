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
  Host host = {name, inet_addr(address), {}};
  auto* ipv6 = reinterpret_cast<sockaddr_in6*>(&host.socketAddress);
  auto* ipv4 = reinterpret_cast<sockaddr_in*>(&host.socketAddress);
  if (inet_pton(AF_INET6, address, &ipv6->sin6_addr) == 1) {
    ipv6->sin6_family = AF_INET6;
  } else {
    ASSERT_NE(INADDR_NONE, host.address) << address;
    ipv4->sin_family = AF_INET;
    ipv4->sin_addr.s_addr = host.address;
  }
  hosts_.push_back(host);
}

hostent* TestResolver::ByName(const char* name) {
  for (const Host& host : active_->hosts_) {
    if (lstrcmpiA(host.name.c_str(), name) == 0 && host.address != INADDR_NONE) return Answer(&host);
  }
  return nullptr;
}

int WSAAPI TestResolver::AddressInfo(const char* node, const char*, const addrinfo*, addrinfo** result) {
  *result = nullptr;
  addrinfo** next = result;
  for (const Host& host : active_->hosts_) {
    if (!node || lstrcmpiA(host.name.c_str(), node) != 0) continue;
    auto* entry = new addrinfo{};
    entry->ai_family = host.socketAddress.ss_family;
    entry->ai_socktype = SOCK_STREAM;
    entry->ai_addrlen = entry->ai_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    entry->ai_addr = reinterpret_cast<sockaddr*>(new sockaddr_storage(host.socketAddress));
    *next = entry;
    next = &entry->ai_next;
  }
  return *result ? 0 : WSAHOST_NOT_FOUND;
}

void WSAAPI TestResolver::FreeAddressInfo(addrinfo* info) {
  while (info) {
    addrinfo* next = info->ai_next;
    delete reinterpret_cast<sockaddr_storage*>(info->ai_addr);
    delete info;
    info = next;
  }
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
