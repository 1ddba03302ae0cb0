#include <gtest/gtest.h>

#include <windows.h>

#include "portdlg/resolve.h"
#include "portdlg/validate.h"
#include "resource.h"

namespace {

TEST(VnetAddressWithoutLibraryTest, ReadsAreaAndNodeItself) {
  LoadVnetLibrary();
  ASSERT_EQ(nullptr, LoadLibraryA("vnetw")) << "this program must run where no VTLnet library is found";

  struct Case {
    const char* text;
    UINT expected;  // 0: accepted
  };
  const Case cases[] = {{"63.1023", 0},
                        {"1.2x", 0},
                        {"0.0", 0},
                        {"64.1", IDS_VNET_ADDRESS_INCORRECT},
                        {"1.1024", IDS_VNET_ADDRESS_INCORRECT},
                        {"12", IDS_VNET_ADDRESS_INCORRECT},
                        {"prn20", IDS_VNET_ADDRESS_INCORRECT},
                        {"", IDS_VNET_ADDRESS_EMPTY}};
  for (const Case& c : cases) {
    UINT id = 4242;
    EXPECT_EQ(c.expected == 0, CheckVnetAddress(c.text, &id)) << '"' << c.text << '"';
    EXPECT_EQ(c.expected ? c.expected : 4242u, id) << '"' << c.text << '"';
  }
}

}  // namespace
