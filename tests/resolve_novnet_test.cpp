#include <gtest/gtest.h>

#include <windows.h>

#include "names/resolve.h"
#include "resource.h"
#include "rules/validate.h"

namespace {

TEST(NoVnetTest, EveryVnetLookupIsEmptyAndAddressesAreCheckedByTheirOwnParse) {
  LoadVnetLibrary();
  ASSERT_EQ(nullptr, LoadLibraryA("vnetw")) << "this program must run where no VTLnet library is found";
  VnetAddressRecord record = {2, {0x14, 0x04}};
  EXPECT_EQ(nullptr, VnetAddr("1.20"));
  EXPECT_EQ(nullptr, VnetNtoa(&record));
  EXPECT_EQ(nullptr, VnetGetNodeByName("PRN20"));
  EXPECT_EQ(nullptr, VnetGetNodeByAddr("\x14\x04", 2, kVnetFamily));
  char address[8] = "#######";
  char name[8] = "#######";
  VnetNameToAddress("PRN20", address, sizeof address);
  VnetAddressToName("1.20", name, sizeof name);
  EXPECT_STREQ("", address);
  EXPECT_STREQ("", name);

  const UINT incorrect = IDS_VNET_ADDRESS_INCORRECT;
  const struct {
    const char* text;
    UINT refusal;  // 0: accepted
  } cases[] = {{"63.1023", 0},         {"1.2x", 0},         {"64.1", incorrect},
               {"1.1024", incorrect}, {"prn20", incorrect}, {"", IDS_VNET_ADDRESS_EMPTY}};
  for (const auto& c : cases) {
    UINT id = 0;
    EXPECT_EQ(c.refusal == 0, CheckVnetAddress(c.text, &id)) << '"' << c.text << '"';
    EXPECT_EQ(c.refusal, id) << '"' << c.text << '"';
  }
}

}  // namespace
