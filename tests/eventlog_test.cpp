#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "diag/eventlog.h"
#include "eventcapture.h"

namespace {

using Strings = std::vector<std::string>;

TEST(EventLogTest, LevelGatesByMessageCodeAndTheTopBitsGiveTheType) {
  EventCapture capture;
  const struct {
    DWORD level, identifier;
    WORD type;  // 0: not reported
  } cases[] = {{0, 0xC0000000 | 9999, EVENTLOG_ERROR_TYPE},        {0, 0xC0000000 | 10000, 0},
               {1, 0x80000000 | 19999, EVENTLOG_WARNING_TYPE},     {1, 0x80000000 | 20000, 0},
               {2, 0x40000000 | 29999, EVENTLOG_INFORMATION_TYPE}, {2, 30000, 0},
               {3, 39999, EVENTLOG_INFORMATION_TYPE},              {3, 40000, 0}};
  for (const auto& c : cases) {
    capture.Clear();
    EvSetLevel(c.level);
    EvReport0(c.identifier);
    EXPECT_EQ(c.type, capture.events().empty() ? 0 : capture.events()[0].type) << std::hex << c.identifier;
  }
  EvSetLevel(1);
}

TEST(EventLogTest, FormatsTaggedValuesWithinItsTextAreaAndAnUnknownTagEndsTheList) {
  EventCapture capture;
  SetLastError(5);
  EvReportFormatted(EVT_BAD_VALUE_TYPE, EV_TAG_ANSI, "text", EV_TAG_ULONG, DWORD{7}, EV_TAG_LONG, -5, EV_TAG_ULONG,
                    DWORD{0xFFFFFFFF}, EV_TAG_TEXT, "plain", 9, "never read", EV_TAG_END);
  // The strings stay within 1,000 bytes and ten strings; values past the end are still taken
  // from the list, so that no value is read as a tag.
  const std::string longText(1500, 'x');
  EvReportFormatted(EVT_INTERNAL_ERROR, EV_TAG_TEXT, longText.c_str(), EV_TAG_ULONG, DWORD{9}, EV_TAG_END);
  EvReportFormatted(EVT_INTERNAL_ERROR, EV_TAG_TEXT, "1", EV_TAG_TEXT, "2", EV_TAG_TEXT, "3", EV_TAG_TEXT, "4",
                    EV_TAG_TEXT, "5", EV_TAG_TEXT, "6", EV_TAG_TEXT, "7", EV_TAG_TEXT, "8", EV_TAG_TEXT, "9",
                    EV_TAG_TEXT, "10", EV_TAG_ULONG, DWORD{11}, EV_TAG_TEXT, "12", EV_TAG_END);
  const auto& events = capture.events();
  ASSERT_EQ(4u, events.size());
  // The unknown tag first reports an internal error with the unit, the line and the last error.
  EXPECT_TRUE(events[0].identifier == EVT_INTERNAL_ERROR && events[1].identifier == EVT_BAD_VALUE_TYPE);
  EXPECT_EQ((Strings{"eventlog", "346", "5"}), events[0].strings);
  EXPECT_EQ((Strings{"text", "7", "-5", "4294967295", "plain"}), events[1].strings);
  EXPECT_EQ(Strings{std::string(999, 'x')}, events[2].strings);
  EXPECT_EQ(10u, events[3].strings.size());
}

TEST(EventLogTest, SourceNamesTheMessageFile) {
  ASSERT_EQ(ERROR_SUCCESS, EvRegisterSource());
  char file[MAX_PATH] = {};
  DWORD size = sizeof file;
  RegGetValueA(HKEY_LOCAL_MACHINE, kEventSourceKey, "EventMessageFile", RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr,
               file, &size);
  EXPECT_STREQ("%SystemRoot%\\System32\\vtlpmmw4.dll", file);
}

}  // namespace
