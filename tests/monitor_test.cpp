#include <gtest/gtest.h>

#include <windows.h>
#include <winsock2.h>
#include <winspool.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "base/memory.h"
#include "diag/eventlog.h"
#include "eventcapture.h"
#include "jobs/portjob.h"
#include "model/portlist.h"
#include "model/store.h"
#include "testregistry.h"

namespace {

using Names = std::vector<std::string>;

class MonitorTest : public ::testing::Test {
protected:
  void TearDown() override { MonitorShutdown(); EvSetLevel(1); }

  TestMonitorKey monitor;
  EventCapture capture;
};

// Before initialisation the list operations fail cleanly; each initialisation reads its store afresh.
TEST_F(MonitorTest, InitialisationReadsTheStoreAndInitialisingAgainStartsAfresh) {
  PortEntry entry = {};
  EXPECT_FALSE(FindPortEntry("any") || AddPortEntry(&entry) || RemovePortEntry("any") || ReloadPortList());
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_READY), GetLastError());

  monitor.SetDword("Options", "Logging Level", 3);
  monitor.SetString("Options", "Bubble", "True");
  monitor.PlantPort("one");
  ASSERT_TRUE(MonitorInitialize(monitor.path()));
  EXPECT_EQ(1u, MonitorLogOptions.bubble);
  EXPECT_EQ(3u, EvGetLevel());
  EXPECT_EQ(Names{"one"}, ListedPorts());

  TestMonitorKey other;
  other.PlantPort("two");
  ASSERT_TRUE(MonitorInitialize(other.path()));
  EXPECT_TRUE(EvGetLevel() == 1 && !MonitorLogOptions.bubble);  // the defaults: no options stored
  EXPECT_EQ(Names{"two"}, ListedPorts());
}

// An enumeration touches nothing when the buffer is short; the list looks up exact names from its head.
TEST_F(MonitorTest, ListLooksUpExactNamesAndEnumerationPacksWhatFits) {
  for (const char* name : {"aaa", "bb", "c"}) monitor.PlantPort(name);
  ASSERT_TRUE(MonitorInitialize(monitor.path()));
  const DWORD size = 3 * sizeof(PORT_INFO_1A) + 2 + 3 + 4;
  DWORD needed = 0, returned = 0xBEEF;
  std::vector<BYTE> buffer(size, 0xEE);
  EXPECT_FALSE(MonitorEnumPorts(nullptr, 1, buffer.data(), size - 1, &needed, &returned));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  EXPECT_EQ(size, needed);
  EXPECT_EQ(std::vector<BYTE>(size, 0xEE), buffer);
  ASSERT_TRUE(MonitorEnumPorts(nullptr, 1, buffer.data(), size, &needed, &returned));
  auto* records = reinterpret_cast<PORT_INFO_1A*>(buffer.data());
  EXPECT_EQ("c bb aaa", std::string(records[0].pName) + " " + records[1].pName + " " + records[2].pName);
  EXPECT_EQ(buffer.data() + size - 2, reinterpret_cast<BYTE*>(records[0].pName));
  EXPECT_FALSE(MonitorEnumPorts(nullptr, 3, buffer.data(), size, &needed, &returned));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_LEVEL), GetLastError());

  PortEntry* added = nullptr;
  ASSERT_EQ(EXC_S_SUCCESS, MemAllocateZeroed(sizeof *added, &added));
  strcpy(added->portName, "aaa");
  ASSERT_TRUE(AddPortEntry(added));
  EXPECT_EQ(added, FindPortEntry("aaa"));
  EXPECT_TRUE(RemovePortEntry("aaa") && RemovePortEntry("bb") && RemovePortEntry("aaa"));  // head, middle, last
  EXPECT_FALSE(RemovePortEntry("aaa"));
  EXPECT_EQ(Names{"c"}, ListedPorts());
  HANDLE handle = nullptr;
  ASSERT_TRUE(MonitorOpenPort("c", &handle));
  EXPECT_TRUE(MonitorClosePort(handle));
  SetLastError(0);
  EXPECT_FALSE(MonitorOpenPort("C", &handle));
  EXPECT_EQ(static_cast<DWORD>(ERROR_UNKNOWN_PORT), GetLastError());

  // Level 2 adds the monitor's name, a description and the port type, read again for "Update".
  monitor.PlantPort("v", kProtocolVnet);
  StoreSetUpdate(monitor.path());
  MonitorEnumPorts(nullptr, 2, nullptr, 0, &needed, &returned);
  std::vector<BYTE> second(needed);
  ASSERT_TRUE(MonitorEnumPorts(nullptr, 2, second.data(), needed, &needed, &returned));
  auto* infos = reinterpret_cast<PORT_INFO_2A*>(second.data());
  ASSERT_EQ(4u, returned);
  EXPECT_EQ("v Vantrel Pressmark Printer Pressmark port over VTLnet",
            std::string(infos[0].pPortName) + " " + infos[0].pMonitorName + " " + infos[0].pDescription);
  EXPECT_EQ(static_cast<DWORD>(PORT_TYPE_WRITE), infos[3].fPortType);
  EXPECT_FALSE(monitor.HasValue("", "Update"));
}

// A job goes where the store says when it starts, though nothing asked the monitor to re-read its
// list: the printer changed and the port added after the list was read, the port deleted.
TEST_F(MonitorTest, JobsTakeTheirPortFromTheStoreWhenTheyStart) {
  WSADATA data;
  ASSERT_EQ(0, WSAStartup(MAKEWORD(2, 2), &data));
  SOCKET printer = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  ASSERT_TRUE(bind(printer, reinterpret_cast<sockaddr*>(&address), length) == 0 && listen(printer, 4) == 0 &&
              getsockname(printer, reinterpret_cast<sockaddr*>(&address), &length) == 0);
  monitor.PlantPort("moved");
  monitor.SetString("Ports\\moved", "TCP/IP Address", "127.0.0.1");
  monitor.SetDword("Ports\\moved", "TCP/IP Port Number", 9);  // nobody listens there
  monitor.SetString("Ports\\moved", "SNMP Status", "False");  // no agent of the test's own
  ASSERT_TRUE(MonitorInitialize(monitor.path()));
  monitor.SetDword("Ports\\moved", "TCP/IP Port Number", ntohs(address.sin_port));
  monitor.PlantPort("added");

  DOC_INFO_1A document = {const_cast<char*>("moved job"), nullptr, nullptr};
  HANDLE handle = nullptr;
  HANDLE added = nullptr;
  ASSERT_TRUE(MonitorOpenPort("moved", &handle));
  EXPECT_TRUE(MonitorStartDocPort(handle, nullptr, 1, 1, reinterpret_cast<BYTE*>(&document)));
  MonitorClosePort(handle);  // the job ends unsent: the printer never reads
  EXPECT_TRUE(MonitorOpenPort("added", &added) && MonitorClosePort(added));

  ASSERT_TRUE(MonitorOpenPort("moved", &handle));
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, monitor.Below("Ports\\moved").c_str());
  EXPECT_FALSE(MonitorStartDocPort(handle, nullptr, 2, 1, reinterpret_cast<BYTE*>(&document)));
  EXPECT_EQ(static_cast<DWORD>(ERROR_UNKNOWN_PORT), GetLastError());
  EXPECT_EQ(static_cast<DWORD>(EVT_PORT_NOT_FOUND), capture.events().back().identifier);
  MonitorClosePort(handle);
  closesocket(printer);
  WSACleanup();
}

// A failure never reads as success: last-error codes are normalised, and a failed allocation leaves
// the caller's pointer alone; a freed block is forgotten.
TEST(BaseTest, FailuresKeepACodeAndFreedBlocksAreForgotten) {
  for (const auto& [code, normalised] : {std::pair<DWORD, DWORD>{0, 1}, {1900, 1900}, {1901, 59}}) {
    SetLastError(code);
    NormalizeLastError();
    EXPECT_EQ(normalised, GetLastError()) << code;
  }
  char marker = 0;
  void* block = &marker;
  EXPECT_EQ(EXC_F_INSUFFICIENT_VM, MemAllocate(SIZE_MAX / 2, &block));
  EXPECT_EQ(static_cast<void*>(&marker), block);
  EXPECT_TRUE(MemAllocate(16, &block) == EXC_S_SUCCESS && MemFree(&block) == EXC_S_SUCCESS && !block);
}

}  // namespace
