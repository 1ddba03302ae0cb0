#include <gtest/gtest.h>

#include <windows.h>
#include <winsock.h>

#include <cstring>

#include "portdlg/resolve.h"

namespace {

class NoVnetTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { LoadVnetLibrary(); }
  void SetUp() override {
    ASSERT_EQ(nullptr, LoadLibraryA("vnetw")) << "this program must run where no VTLnet library is found";
    ASSERT_EQ(EXC_S_SUCCESS, StartSockets());
  }
  void TearDown() override { StopSockets(); }
};

TEST_F(NoVnetTest, EveryVnetLookupIsEmpty) {
  EXPECT_EQ(nullptr, VnetAddr("1.20"));
  VnetAddressRecord record = {2, {0x14, 0x04}};
  EXPECT_EQ(nullptr, VnetNtoa(&record));
  EXPECT_EQ(nullptr, VnetGetNodeByName("PRN20"));
  EXPECT_EQ(nullptr, VnetGetNodeByAddr("\x14\x04", 2, kVnetFamily));
  char text[16];
  memset(text, '#', sizeof text);
  VnetNameToAddress("PRN20", text, 8);
  EXPECT_STREQ("", text);
  memset(text, '#', sizeof text);
  VnetAddressToName("1.20", text, 7);
  EXPECT_STREQ("", text);
}

TEST_F(NoVnetTest, VnetAvailabilityIsTheSocketsLibrarysAlone) {
  SOCKET probe = socket(kVnetFamily, SOCK_STREAM, 0);
  bool socketsSupportVnet = probe != INVALID_SOCKET;
  if (socketsSupportVnet) closesocket(probe);
  EXPECT_EQ(socketsSupportVnet, IsVnetAvailable());
  EXPECT_TRUE(IsTcpAvailable());
}

}  // namespace
