#include <gtest/gtest.h>

#include "dlgutil/messages.h"
#include "dlgutil/numbers.h"

namespace {

TEST(NumberFields, WholeNumbersTakeBlanksASignAndDigitsOnly) {
  struct Case {
    const char* text;
    bool accepted;
    LONG value;
  } cases[] = {
      {"7", true, 7},           {"  -5", true, -5},   {"0", true, 0},
      {"2147483647", true, 2147483647},               {"-2147483648", true, -2147483647 - 1},
      {"2147483648", false, 0}, {"", false, 0},       {"-", false, 0},
      {"default", false, 0},    {"12x", false, 0},    {"+3", false, 0},
      {"3 ", false, 0},         {"- 3", false, 0},
  };
  for (const Case& c : cases) {
    LONG value = 99;
    EXPECT_EQ(c.accepted, ParseWholeNumber(c.text, &value)) << c.text;
    if (c.accepted) {
      EXPECT_EQ(c.value, value) << c.text;
    }
  }
}

TEST(NumberFields, UnsignedNumbersRefuseSignsAndOverflow) {
  DWORD value = 0;
  EXPECT_TRUE(ParseUnsignedNumber(" 4294967295", &value));
  EXPECT_EQ(4294967295u, value);
  EXPECT_FALSE(ParseUnsignedNumber("4294967296", &value));
  EXPECT_FALSE(ParseUnsignedNumber("-1", &value));
  EXPECT_FALSE(ParseUnsignedNumber("two", &value));
  EXPECT_FALSE(ParseUnsignedNumber("", &value));
}

TEST(TemplateText, ReplacesTheFirstMarkOnlyAndCutsToFit) {
  char text[32];
  FormatTemplateText("%s - Vantrel Pressmark Printer", "Add Port", text, sizeof text);
  EXPECT_STREQ("Add Port - Vantrel Pressmark Pr", text);
  FormatTemplateText("Version %s %s %d", "X(3/16/94)", text, sizeof text);
  EXPECT_STREQ("Version X(3/16/94) %s %d", text);
  FormatTemplateText("no mark", "ignored", text, sizeof text);
  EXPECT_STREQ("no mark", text);
}

}  // namespace
