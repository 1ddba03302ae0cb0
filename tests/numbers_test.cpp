#include <gtest/gtest.h>

#include "dlgutil/messages.h"
#include "dlgutil/numbers.h"

namespace {

TEST(NumberFields, TakeLeadingBlanksASignAndDigitsOnlyWithinRange) {
  struct Case {
    const char* text;
    bool accepted;
    LONG value;
  } cases[] = {
      {"  -5", true, -5},           {"2147483647", true, 2147483647}, {"-2147483648", true, -2147483647 - 1},
      {"2147483648", false, 0},     {"", false, 0},                   {"-", false, 0},
      {"12x", false, 0},            {"+3", false, 0},                 {"3 ", false, 0},
      {"- 3", false, 0},
  };
  for (const Case& c : cases) {
    LONG value = 99;
    EXPECT_EQ(c.accepted, ParseWholeNumber(c.text, &value)) << c.text;
    EXPECT_EQ(c.accepted ? c.value : 99, value) << c.text;
  }
  DWORD value = 0;
  EXPECT_TRUE(ParseUnsignedNumber(" 4294967295", &value));
  EXPECT_EQ(4294967295u, value);
  for (const char* text : {"4294967296", "-1", ""}) EXPECT_FALSE(ParseUnsignedNumber(text, &value)) << text;
}

TEST(TemplateText, ReplacesTheFirstMarkOnlyAndCutsToFit) {
  char text[32];
  FormatTemplateText("%s - Vantrel Pressmark Printer", "Add Port", text, sizeof text);
  EXPECT_STREQ("Add Port - Vantrel Pressmark Pr", text);
  FormatTemplateText("Version %s %s %d", "X(3/16/94)", text, sizeof text);
  EXPECT_STREQ("Version X(3/16/94) %s %d", text);
}

}  // namespace
