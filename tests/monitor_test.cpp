#include <gtest/gtest.h>

#include <windows.h>
#include <winspool.h>

#include <cstdint>
#include <string>
#include <vector>

#include "eventcapture.h"
#include "model/memory.h"
#include "model/vtlpmmon.h"
#include "testregistry.h"

namespace {

constexpr DWORD kRecordSize = sizeof(PORT_INFO_1A);

class MonitorTest : public ::testing::Test {
protected:
  void TearDown() override {
    MonitorShutdown();
    EvSetLevel(1);
  }

  void Start() { ASSERT_TRUE(MonitorInitialize(monitor.path())); }

  std::vector<std::string> EnumeratedNames() {
    DWORD needed = 0;
    DWORD returned = 0;
    MonitorEnumPorts(nullptr, 1, nullptr, 0, &needed, &returned);
    std::vector<BYTE> buffer(needed + 1);
    EXPECT_TRUE(MonitorEnumPorts(nullptr, 1, buffer.data(), needed, &needed, &returned));
    std::vector<std::string> names;
    auto* records = reinterpret_cast<PORT_INFO_1A*>(buffer.data());
    for (DWORD i = 0; i < returned; ++i) names.push_back(records[i].pName);
    return names;
  }

  PortEntry* NewEntry(const char* name) {
    PortEntry* entry = nullptr;
    EXPECT_EQ(EXC_S_SUCCESS, MemAllocateZeroed(sizeof *entry, &entry));
    lstrcpynA(entry->portName, name, sizeof entry->portName);
    entry->protocol = kProtocolTcp;
    return entry;
  }

  TestMonitorKey monitor;
  EventCapture capture;
};

TEST_F(MonitorTest, ListOperationsFailCleanlyBeforeInitialisation) {
  EXPECT_EQ(nullptr, FindPortEntry("any"));
  PortEntry entry = {};
  EXPECT_FALSE(AddPortEntry(&entry));
  EXPECT_FALSE(RemovePortEntry("any"));
  EXPECT_FALSE(ReloadPortList());
  DWORD needed = 5;
  DWORD returned = 5;
  SetLastError(0);
  EXPECT_FALSE(MonitorEnumPorts(nullptr, 1, nullptr, 0, &needed, &returned));
  EXPECT_NE(0u, GetLastError());
  HANDLE handle = nullptr;
  EXPECT_FALSE(MonitorOpenPort("any", &handle));
}

TEST_F(MonitorTest, InitialisationReadsOptionsAndSetsTheEventLevel) {
  monitor.SetDword("Options", "Logging Level", 3);
  monitor.SetString("Options", "Bubble", "True");
  Start();
  EXPECT_STREQ(monitor.path(), MonitorKeyPath);
  EXPECT_EQ(3u, MonitorLogOptions.loggingLevel);
  EXPECT_EQ(1u, MonitorLogOptions.bubble);
  EXPECT_EQ(3u, EvGetLevel());
}

TEST_F(MonitorTest, EmptyStoreEnumeratesNothing) {
  Start();
  DWORD needed = 7;
  DWORD returned = 7;
  EXPECT_TRUE(MonitorEnumPorts(nullptr, 1, nullptr, 0, &needed, &returned));
  EXPECT_EQ(0u, needed);
  EXPECT_EQ(0u, returned);
  EXPECT_TRUE(MonitorEnumPorts(nullptr, 2, nullptr, 0, &needed, &returned));
  EXPECT_EQ(0u, returned);
}

TEST_F(MonitorTest, ListRunsInReverseStoreOrderWithAddedPortsFirst) {
  monitor.PlantPort("first");
  monitor.PlantPort("second");
  monitor.PlantPort("third");
  Start();
  EXPECT_EQ((std::vector<std::string>{"third", "second", "first"}), EnumeratedNames());
  ASSERT_TRUE(AddPortEntry(NewEntry("added")));
  EXPECT_EQ((std::vector<std::string>{"added", "third", "second", "first"}), EnumeratedNames());
}

TEST_F(MonitorTest, PacksRecordsForwardAndNamesBackward) {
  // The store enumerates aaa, bb, c, so the list holds c, bb, aaa.
  monitor.PlantPort("aaa");
  monitor.PlantPort("bb");
  monitor.PlantPort("c");
  Start();
  const DWORD size = 3 * kRecordSize + 2 + 3 + 4;
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
  EXPECT_EQ(3 * kRecordSize, offset(2));
  const char names[] = "aaa\0bb\0c";
  EXPECT_EQ(0, memcmp(names, buffer.data() + 3 * kRecordSize, sizeof names));
}

TEST_F(MonitorTest, OtherLevelsFailWithOneInternalErrorPerPort) {
  monitor.PlantPort("one");
  monitor.PlantPort("two");
  Start();
  std::vector<BYTE> buffer(64);
  DWORD needed = 0;
  DWORD returned = 0;
  EXPECT_FALSE(MonitorEnumPorts(nullptr, 2, buffer.data(), 64, &needed, &returned));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_LEVEL), GetLastError());
  EXPECT_EQ(8u, needed);
  ASSERT_EQ(2u, capture.events().size());
  EXPECT_EQ(EVT_INTERNAL_ERROR, capture.events()[0].identifier);
  EXPECT_EQ("vtlpmmon", capture.events()[0].strings[0]);
  EXPECT_EQ("830", capture.events()[0].strings[1]);
}

TEST_F(MonitorTest, LookupsMatchNamesExactly) {
  monitor.PlantPort("Shipping");
  Start();
  EXPECT_EQ(nullptr, FindPortEntry("shipping"));
  PortEntry* entry = FindPortEntry("Shipping");
  ASSERT_NE(nullptr, entry);
  HANDLE handle = nullptr;
  EXPECT_TRUE(MonitorOpenPort("Shipping", &handle));
  EXPECT_EQ(entry, handle);

  SetLastError(0);
  EXPECT_FALSE(MonitorOpenPort("SHIPPING", &handle));
  EXPECT_EQ(1u, GetLastError());
  ASSERT_EQ(1u, capture.events().size());
  EXPECT_EQ(EVT_PORT_NOT_FOUND, capture.events()[0].identifier);
  EXPECT_EQ(std::vector<std::string>{"SHIPPING"}, capture.events()[0].strings);
}

TEST_F(MonitorTest, RemovingKeepsTheOthersInOrder) {
  for (const char* name : {"a", "b", "c", "d", "e"}) monitor.PlantPort(name);
  Start();
  EXPECT_TRUE(RemovePortEntry("e"));  // head
  EXPECT_TRUE(RemovePortEntry("c"));  // middle
  EXPECT_TRUE(RemovePortEntry("a"));  // last
  EXPECT_FALSE(RemovePortEntry("x"));
  EXPECT_EQ((std::vector<std::string>{"d", "b"}), EnumeratedNames());
}

TEST_F(MonitorTest, DuplicateNamesAreFoundAndRemovedFromTheHead) {
  Start();
  PortEntry* older = NewEntry("twin");
  PortEntry* newer = NewEntry("twin");
  ASSERT_TRUE(AddPortEntry(older));
  ASSERT_TRUE(AddPortEntry(newer));
  EXPECT_EQ(newer, FindPortEntry("twin"));
  EXPECT_TRUE(RemovePortEntry("twin"));
  EXPECT_EQ(older, FindPortEntry("twin"));
}

TEST_F(MonitorTest, UpdateFlagReloadsWhatAnotherProcessWrote) {
  monitor.PlantPort("old");
  Start();
  EXPECT_EQ(std::vector<std::string>{"old"}, EnumeratedNames());

  ASSERT_EQ(0u, RunTool("pm_writeport.exe", std::string("\"") + monitor.path() + "\" newer 2"));
  EXPECT_TRUE(monitor.HasValue("", "Update"));
  EXPECT_EQ((std::vector<std::string>{"old", "newer"}), EnumeratedNames());
  EXPECT_FALSE(monitor.HasValue("", "Update"));
}

TEST_F(MonitorTest, WithoutTheFlagTheListIsNotReloaded) {
  Start();
  monitor.PlantPort("unannounced");
  EXPECT_EQ(std::vector<std::string>{}, EnumeratedNames());
  ASSERT_TRUE(ReloadPortList());
  EXPECT_EQ(std::vector<std::string>{"unannounced"}, EnumeratedNames());
}

TEST_F(MonitorTest, InitialisingAgainStartsFromTheNewStore) {
  monitor.PlantPort("one");
  Start();
  TestMonitorKey other;
  other.PlantPort("two");
  ASSERT_TRUE(MonitorInitialize(other.path()));
  EXPECT_STREQ(other.path(), MonitorKeyPath);
  EXPECT_EQ(std::vector<std::string>{"two"}, EnumeratedNames());
}

TEST(LastErrorTest, NormalisesZeroAndLargeCodes) {
  SetLastError(0);
  NormalizeLastError();
  EXPECT_EQ(1u, GetLastError());
  SetLastError(1901);
  NormalizeLastError();
  EXPECT_EQ(59u, GetLastError());
  SetLastError(1900);
  NormalizeLastError();
  EXPECT_EQ(1900u, GetLastError());
}

TEST(MemoryTest, AllocationsAnswerAStatus) {
  EXPECT_EQ(EXC_S_SUCCESS, MemInitialize());
  BYTE* block = nullptr;
  ASSERT_EQ(EXC_S_SUCCESS, MemAllocateZeroed(64, &block));
  EXPECT_EQ(std::vector<BYTE>(64, 0), std::vector<BYTE>(block, block + 64));
  EXPECT_EQ(EXC_S_SUCCESS, MemFree(&block));
  EXPECT_EQ(nullptr, block);
  EXPECT_EQ(EXC_S_SUCCESS, MemFree(&block));

  void* untouched = &block;
  EXPECT_EQ(EXC_F_INSUFFICIENT_VM, MemAllocate(SIZE_MAX / 2, &untouched));
  EXPECT_EQ(static_cast<void*>(&block), untouched);
}

}  // namespace
