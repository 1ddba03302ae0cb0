#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "diag/eventlog.h"
#include "eventcapture.h"

namespace {

using Strings = std::vector<std::string>;

class EventLogTest : public ::testing::Test {
protected:
  void TearDown() override { EvSetLevel(1); }
  EventCapture capture;
};

TEST(StatusTest, NamesAndSeverities) {
  EXPECT_STREQ("EXC_W_WARNING", StatusName(EXC_W_WARNING));
  EXPECT_STREQ("0x000000ab", StatusName(0xAB));
  for (Status status : {9u, 11u, 3u}) EXPECT_TRUE(StatusSucceeded(status)) << status;
  for (Status status : {34u, 40u, 20u}) EXPECT_FALSE(StatusSucceeded(status)) << status;
}

TEST_F(EventLogTest, LevelGatesByMessageCodeAndTheTopBitsGiveTheType) {
  struct Case {
    DWORD level;
    DWORD identifier;
    WORD type;  // 0: not reported
  } cases[] = {
      {0, 0xC0000000 | 9999, EVENTLOG_ERROR_TYPE},        {0, 0xC0000000 | 10000, 0},
      {1, 0x80000000 | 19999, EVENTLOG_WARNING_TYPE},     {1, 0x80000000 | 20000, 0},
      {2, 0x40000000 | 29999, EVENTLOG_INFORMATION_TYPE}, {2, 30000, 0},
      {3, 39999, EVENTLOG_INFORMATION_TYPE},              {3, 40000, 0},
  };
  for (const Case& c : cases) {
    capture.Clear();
    EvSetLevel(c.level);
    EvReport0(c.identifier);
    ASSERT_EQ(c.type ? 1u : 0u, capture.events().size()) << "level " << c.level << " id " << std::hex << c.identifier;
    if (c.type) {
      EXPECT_EQ(c.type, capture.events()[0].type) << std::hex << c.identifier;
    }
  }
}

TEST_F(EventLogTest, FormatsTaggedValuesWithinItsTextAreaAndAnUnknownTagEndsTheList) {
  EvReportFormatted(EVT_BAD_VALUE_TYPE, EV_TAG_ANSI, "text", EV_TAG_ULONG, DWORD{7}, EV_TAG_LONG, -5, EV_TAG_ULONG,
                    DWORD{0xFFFFFFFF}, EV_TAG_TEXT, "plain", EV_TAG_END);
  ASSERT_EQ(1u, capture.events().size());
  EXPECT_EQ((Strings{"text", "7", "-5", "4294967295", "plain"}), capture.events()[0].strings);

  capture.Clear();
  SetLastError(5);
  EvReportFormatted(EVT_BAD_BOOL_VALUE, EV_TAG_ANSI, "first", 9, "never read", EV_TAG_END);
  ASSERT_EQ(2u, capture.events().size());
  EXPECT_EQ(EVT_INTERNAL_ERROR, capture.events()[0].identifier);
  EXPECT_EQ((Strings{"eventlog", "346", "5"}), capture.events()[0].strings);  // unit, line, last error
  EXPECT_EQ(EVT_BAD_BOOL_VALUE, capture.events()[1].identifier);
  EXPECT_EQ(Strings{"first"}, capture.events()[1].strings);

  // The strings stay within a text area of 1,000 bytes and ten strings.
  capture.Clear();
  std::string longText(1500, 'x');
  EvReportFormatted(EVT_INTERNAL_ERROR, EV_TAG_TEXT, longText.c_str(), EV_TAG_TEXT, "after", EV_TAG_END);
  ASSERT_EQ(1u, capture.events().size());
  size_t used = 0;
  for (const std::string& s : capture.events()[0].strings) used += s.size() + 1;
  EXPECT_LE(used, 1000u);
  EXPECT_EQ(std::string(999, 'x'), capture.events()[0].strings[0]);

  // Values beyond the tenth string are still taken from the list, so no tag is misread.
  capture.Clear();
  EvReportFormatted(EVT_INTERNAL_ERROR, EV_TAG_TEXT, "1", EV_TAG_TEXT, "2", EV_TAG_TEXT, "3", EV_TAG_TEXT, "4",
                    EV_TAG_TEXT, "5", EV_TAG_TEXT, "6", EV_TAG_TEXT, "7", EV_TAG_TEXT, "8", EV_TAG_TEXT, "9",
                    EV_TAG_TEXT, "10", EV_TAG_ULONG, DWORD{11}, EV_TAG_TEXT, "12", EV_TAG_END);
  ASSERT_EQ(1u, capture.events().size());
  EXPECT_EQ(10u, capture.events()[0].strings.size());
}

TEST(EventSourceTest, NamesTheMessageFileAndReportingKeepsTheLastError) {
  ASSERT_EQ(ERROR_SUCCESS, EvRegisterSource());
  char file[MAX_PATH] = {};
  DWORD size = sizeof file;
  RegGetValueA(HKEY_LOCAL_MACHINE, kEventSourceKey, "EventMessageFile", RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr,
               file, &size);
  EXPECT_STREQ("%SystemRoot%\\System32\\vtlpmmw4.dll", file);
  SetLastError(4321);
  EvReport1(EVT_PORT_NOT_FOUND, "nowhere");
  EXPECT_EQ(4321u, GetLastError());
}

}  // namespace
