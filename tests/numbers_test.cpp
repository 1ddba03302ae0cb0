#include <gtest/gtest.h>

#include "base/messages.h"
#include "dlgutil/numbers.h"

namespace {

TEST(NumberFields, TakeLeadingBlanksASignAndDigitsOnlyWithinRangeAndTemplatesCutToFit) {
  const struct {
    const char* text;
    bool accepted;
    LONG value;  // 99: left alone
  } cases[] = {{"  -5", true, -5}, {"2147483647", true, 2147483647}, {"-2147483648", true, -2147483647 - 1},
               {"2147483648", false, 99}, {"", false, 99}, {"-", false, 99}, {"12x", false, 99}, {"+3", false, 99},
               {"3 ", false, 99}, {"- 3", false, 99}};
  for (const auto& c : cases) {
    LONG value = 99;
    EXPECT_TRUE(ParseWholeNumber(c.text, &value) == c.accepted && value == c.value) << c.text;
  }
  DWORD value = 0;
  EXPECT_TRUE(ParseUnsignedNumber(" 4294967295", &value) && value == 4294967295u);
  for (const char* text : {"4294967296", "-1", ""}) EXPECT_FALSE(ParseUnsignedNumber(text, &value)) << text;

  char text[32];  // only the first mark is replaced, and the result is cut to fit
  FormatTemplateText("Version %s %s %d", "X(3/16/94)", text, sizeof text);
  EXPECT_STREQ("Version X(3/16/94) %s %d", text);
  FormatTemplateText("%s - Vantrel Pressmark Printer", "Add Port", text, sizeof text);
  EXPECT_STREQ("Add Port - Vantrel Pressmark Pr", text);
}

}  // namespace
