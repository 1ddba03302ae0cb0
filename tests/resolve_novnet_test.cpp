#include <gtest/gtest.h>

#include <windows.h>

#include "names/resolve.h"
#include "resource.h"
#include "rules/validate.h"

namespace {

// This program runs from bin/novnet; bin/ holds a VTLnet library. Made the current directory, bin/
// stands for a directory where someone planted one: the library is looked for only beside this
// program, so it is not loaded.
TEST(NoVnetTest, EveryVnetLookupIsEmptyAndAddressesAreCheckedByTheirOwnParse) {
  ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("..\\vnetw.dll"));
  ASSERT_TRUE(SetCurrentDirectoryA(".."));
  LoadVnetLibrary();
  SetCurrentDirectoryA("novnet");
  EXPECT_EQ(nullptr, GetModuleHandleA("vnetw.dll"));
  VnetAddressRecord record = {2, {0x14, 0x04}};
  EXPECT_TRUE(!VnetAddr("1.20") && !VnetNtoa(&record) && !VnetGetNodeByName("PRN20") &&
              !VnetGetNodeByAddr("\x14\x04", 2, kVnetFamily));
  char address[8] = "#######", name[8] = "#######";
  VnetNameToAddress("PRN20", address, sizeof address);
  VnetAddressToName("1.20", name, sizeof name);
  EXPECT_EQ("|", std::string(address) + "|" + name);
  UINT id = 0;
  EXPECT_TRUE(CheckVnetAddress("63.1023") && CheckVnetAddress("1.2x") && !CheckVnetAddress("prn20", &id));
  EXPECT_EQ(static_cast<UINT>(IDS_VNET_ADDRESS_INCORRECT), id);
}

}  // namespace
