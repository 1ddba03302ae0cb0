#include <gtest/gtest.h>

#include <windows.h>
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
  void TearDown() override {
    MonitorShutdown();
    EvSetLevel(1);
  }

  Names EnumeratedNames() {
    DWORD needed = 0;
    DWORD returned = 0;
    MonitorEnumPorts(nullptr, 1, nullptr, 0, &needed, &returned);
    std::vector<BYTE> buffer(needed + 1);
    EXPECT_TRUE(MonitorEnumPorts(nullptr, 1, buffer.data(), needed, &needed, &returned));
    Names names;
    for (DWORD i = 0; i < returned; ++i) names.push_back(reinterpret_cast<PORT_INFO_1A*>(buffer.data())[i].pName);
    return names;
  }

  TestMonitorKey monitor;
  EventCapture capture;
};

TEST_F(MonitorTest, ListOperationsFailCleanlyBeforeInitialisation) {
  PortEntry entry = {};
  EXPECT_EQ(nullptr, FindPortEntry("any"));
  EXPECT_FALSE(AddPortEntry(&entry) || RemovePortEntry("any") || ReloadPortList());
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_READY), GetLastError());
}

TEST_F(MonitorTest, InitialisationReadsTheStoreAndInitialisingAgainStartsAfresh) {
  monitor.SetDword("Options", "Logging Level", 3);
  monitor.SetString("Options", "Bubble", "True");
  monitor.PlantPort("one");
  ASSERT_TRUE(MonitorInitialize(monitor.path()));
  EXPECT_STREQ(monitor.path(), MonitorKeyPath);
  EXPECT_EQ(1u, MonitorLogOptions.bubble);
  EXPECT_EQ(3u, EvGetLevel());
  EXPECT_EQ(Names{"one"}, EnumeratedNames());

  TestMonitorKey other;
  other.PlantPort("two");
  other.CreateKey("Options");
  ASSERT_TRUE(MonitorInitialize(other.path()));
  EXPECT_STREQ(other.path(), MonitorKeyPath);
  EXPECT_EQ(0u, EvGetLevel());  // no stored level
  EXPECT_EQ(Names{"two"}, EnumeratedNames());
}

TEST_F(MonitorTest, ListAddsAtTheHeadAndLooksUpExactNamesFromTheHead) {
  for (const char* name : {"a", "b", "c"}) monitor.PlantPort(name);
  ASSERT_TRUE(MonitorInitialize(monitor.path()));
  EXPECT_EQ((Names{"c", "b", "a"}), EnumeratedNames());
  PortEntry* added = nullptr;
  ASSERT_EQ(EXC_S_SUCCESS, MemAllocateZeroed(sizeof *added, &added));
  strcpy(added->portName, "a");
  ASSERT_TRUE(AddPortEntry(added));
  EXPECT_EQ(added, FindPortEntry("a"));
  EXPECT_TRUE(RemovePortEntry("a"));
  EXPECT_EQ((Names{"c", "b", "a"}), EnumeratedNames());
  EXPECT_TRUE(RemovePortEntry("b"));  // from the middle
  EXPECT_TRUE(RemovePortEntry("a"));  // the last
  EXPECT_FALSE(RemovePortEntry("a"));
  EXPECT_EQ(Names{"c"}, EnumeratedNames());

  HANDLE handle = nullptr;
  ASSERT_TRUE(MonitorOpenPort("c", &handle));
  EXPECT_STREQ("c", static_cast<OpenPort*>(handle)->port.portName);
  EXPECT_TRUE(MonitorClosePort(handle));
  SetLastError(0);
  EXPECT_FALSE(MonitorOpenPort("C", &handle));
  EXPECT_EQ(static_cast<DWORD>(ERROR_UNKNOWN_PORT), GetLastError());
  ASSERT_EQ(1u, capture.events().size());
  EXPECT_EQ(EVT_PORT_NOT_FOUND, capture.events()[0].identifier);
  EXPECT_EQ(Names{"C"}, capture.events()[0].strings);
}

TEST_F(MonitorTest, PacksRecordsForwardAndNamesBackward) {
  // The store enumerates aaa, bb, c, so the list holds c, bb, aaa.
  for (const char* name : {"aaa", "bb", "c"}) monitor.PlantPort(name);
  ASSERT_TRUE(MonitorInitialize(monitor.path()));
  const DWORD recordSize = sizeof(PORT_INFO_1A);
  const DWORD size = 3 * recordSize + 2 + 3 + 4;
  DWORD needed = 0;
  DWORD returned = 0xBEEF;
  std::vector<BYTE> buffer(size, 0xEE);
  EXPECT_FALSE(MonitorEnumPorts(nullptr, 1, buffer.data(), size - 1, &needed, &returned));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  EXPECT_EQ(size, needed);
  EXPECT_EQ(0xBEEFu, returned);
  EXPECT_EQ(std::vector<BYTE>(size, 0xEE), buffer);

  ASSERT_TRUE(MonitorEnumPorts(nullptr, 1, buffer.data(), size, &needed, &returned));
  EXPECT_EQ(3u, returned);
  auto* records = reinterpret_cast<PORT_INFO_1A*>(buffer.data());
  auto offset = [&](DWORD i) { return reinterpret_cast<BYTE*>(records[i].pName) - buffer.data(); };
  EXPECT_EQ(size - 2, offset(0));
  EXPECT_EQ(size - 5, offset(1));
  EXPECT_EQ(3 * recordSize, offset(2));
  EXPECT_EQ(0, memcmp("aaa\0bb\0c", buffer.data() + 3 * recordSize, 9));

  // Level 2 adds the monitor's name, a description by protocol and the writable port type.
  monitor.PlantPort("v", kProtocolVnet);
  StoreSetUpdate(monitor.path());
  MonitorEnumPorts(nullptr, 2, nullptr, 0, &needed, &returned);
  std::vector<BYTE> second(needed);
  ASSERT_TRUE(MonitorEnumPorts(nullptr, 2, second.data(), needed, &needed, &returned));
  ASSERT_EQ(4u, returned);
  auto* infos = reinterpret_cast<PORT_INFO_2A*>(second.data());
  EXPECT_EQ("v Vantrel Pressmark Printer Pressmark port over VTLnet",
            std::string(infos[0].pPortName) + " " + infos[0].pMonitorName + " " + infos[0].pDescription);
  EXPECT_EQ("aaa Pressmark port over TCP/IP", std::string(infos[3].pPortName) + " " + infos[3].pDescription);
  EXPECT_EQ(second.data() + 4 * sizeof(PORT_INFO_2A), reinterpret_cast<BYTE*>(infos[3].pDescription));
  for (DWORD i = 0; i < 4; ++i) EXPECT_EQ(static_cast<DWORD>(PORT_TYPE_WRITE), infos[i].fPortType) << i;

  // Other levels fail before looking at a port.
  EXPECT_FALSE(MonitorEnumPorts(nullptr, 3, buffer.data(), size, &needed, &returned));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_LEVEL), GetLastError());
  EXPECT_TRUE(capture.events().empty());
}

TEST_F(MonitorTest, ListIsReloadedOnlyWhenTheUpdateFlagIsRaised) {
  monitor.PlantPort("old");
  ASSERT_TRUE(MonitorInitialize(monitor.path()));
  monitor.PlantPort("unannounced");
  EXPECT_EQ(Names{"old"}, EnumeratedNames());
  ASSERT_EQ(0u, RunTool("pm_writeport.exe", std::string("\"") + monitor.path() + "\" newer 2"));
  EXPECT_EQ((Names{"unannounced", "old", "newer"}), EnumeratedNames());
  EXPECT_FALSE(monitor.HasValue("", "Update"));
}

TEST(LastErrorTest, NormalisesZeroAndLargeCodes) {
  for (const auto& [code, normalised] : {std::pair<DWORD, DWORD>{0, 1}, {1900, 1900}, {1901, 59}}) {
    SetLastError(code);
    NormalizeLastError();
    EXPECT_EQ(normalised, GetLastError()) << code;
  }
}

// A freed block is forgotten, and a failed allocation leaves the caller's pointer alone.
TEST(MemoryTest, FreeingForgetsTheBlock) {
  char marker = 0;
  void* block = &marker;
  EXPECT_EQ(EXC_F_INSUFFICIENT_VM, MemAllocate(SIZE_MAX / 2, &block));
  EXPECT_EQ(static_cast<void*>(&marker), block);
  ASSERT_EQ(EXC_S_SUCCESS, MemAllocate(16, &block));
  EXPECT_EQ(EXC_S_SUCCESS, MemFree(&block));
  EXPECT_EQ(nullptr, block);
}

}  // namespace
