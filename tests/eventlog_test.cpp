#include <gtest/gtest.h>

#include <string>

#include "base/scoped.h"
#include "diag/eventlog.h"
#include "eventcapture.h"

namespace {

class EventLogTest : public ::testing::Test {
protected:
  void TearDown() override { EvSetLevel(1); }
  EventCapture capture;
};

TEST(StatusTest, NamesNamedValuesAndFormatsOthers) {
  EXPECT_STREQ("EXC_S_SUCCESS", StatusName(9));
  EXPECT_STREQ("EXC_F_INSUFFICIENT_VM", StatusName(20));
  EXPECT_STREQ("EXC_E_FILE_NOT_FOUND", StatusName(26));
  EXPECT_STREQ("EXC_E_ERROR", StatusName(34));
  EXPECT_STREQ("EXC_W_WARNING", StatusName(40));
  EXPECT_STREQ("0x00000011", StatusName(17));
  EXPECT_STREQ("0xc0000001", StatusName(0xC0000001));
}

TEST(StatusTest, SuccessIsSeverityOneOrThree) {
  EXPECT_TRUE(StatusSucceeded(9));
  EXPECT_TRUE(StatusSucceeded(3));
  EXPECT_TRUE(StatusSucceeded(11));
  EXPECT_FALSE(StatusSucceeded(34));
  EXPECT_FALSE(StatusSucceeded(40));
  EXPECT_FALSE(StatusSucceeded(20));
}

TEST_F(EventLogTest, LevelGatesByMessageCode) {
  struct Case {
    DWORD level;
    DWORD code;
    bool reported;
  } cases[] = {
      {0, 9999, true},   {0, 10000, false}, {1, 19999, true},  {1, 20000, false},
      {2, 29999, true},  {2, 30000, false}, {3, 39999, true},  {3, 40000, false},
  };
  for (const Case& c : cases) {
    capture.Clear();
    EvSetLevel(c.level);
    EvReport0(0xC0000000 | c.code);
    EXPECT_EQ(c.reported ? 1u : 0u, capture.events().size()) << "level " << c.level << " code " << c.code;
  }
}

TEST_F(EventLogTest, SystemEventsPassEveryLevel) {
  EvSetLevel(0);
  for (DWORD id : {EVT_INTERNAL_ERROR, EVT_BAD_VALUE_TYPE, EVT_BAD_BOOL_VALUE, EVT_PORT_NOT_FOUND}) EvReport0(id);
  ASSERT_EQ(4u, capture.events().size());
  EXPECT_EQ(EVT_PORT_NOT_FOUND, capture.events()[3].identifier);
}

TEST_F(EventLogTest, TypeComesFromTheTopTwoBits) {
  EvReport0(0x00000001);
  EvReport0(0x40000001);
  EvReport0(0x80000001);
  EvReport0(0xC0000001);
  ASSERT_EQ(4u, capture.events().size());
  EXPECT_EQ(EVENTLOG_INFORMATION_TYPE, capture.events()[0].type);
  EXPECT_EQ(EVENTLOG_INFORMATION_TYPE, capture.events()[1].type);
  EXPECT_EQ(EVENTLOG_WARNING_TYPE, capture.events()[2].type);
  EXPECT_EQ(EVENTLOG_ERROR_TYPE, capture.events()[3].type);
}

TEST_F(EventLogTest, ReportPassesItsStringsInOrder) {
  EvReport3(EVT_INTERNAL_ERROR, "unit", "12", "5");
  ASSERT_EQ(1u, capture.events().size());
  EXPECT_EQ((std::vector<std::string>{"unit", "12", "5"}), capture.events()[0].strings);
}

TEST_F(EventLogTest, FormatsTaggedValues) {
  EvReportFormatted(EVT_BAD_VALUE_TYPE, EV_TAG_ANSI, "text", EV_TAG_ULONG, DWORD{7}, EV_TAG_LONG, -5, EV_TAG_ULONG,
                    DWORD{0xFFFFFFFF}, EV_TAG_TEXT, "plain", EV_TAG_END);
  ASSERT_EQ(1u, capture.events().size());
  EXPECT_EQ(EVT_BAD_VALUE_TYPE, capture.events()[0].identifier);
  EXPECT_EQ((std::vector<std::string>{"text", "7", "-5", "4294967295", "plain"}), capture.events()[0].strings);
}

TEST_F(EventLogTest, UnknownTagReportsInternalErrorAndEndsTheList) {
  SetLastError(5);
  EvReportFormatted(EVT_BAD_BOOL_VALUE, EV_TAG_ANSI, "first", 9, "never read", EV_TAG_END);
  ASSERT_EQ(2u, capture.events().size());
  EXPECT_EQ(EVT_INTERNAL_ERROR, capture.events()[0].identifier);
  EXPECT_EQ((std::vector<std::string>{"eventlog", "346", "5"}), capture.events()[0].strings);
  EXPECT_EQ(EVT_BAD_BOOL_VALUE, capture.events()[1].identifier);
  EXPECT_EQ((std::vector<std::string>{"first"}), capture.events()[1].strings);
}

TEST_F(EventLogTest, FormattedStringsStayWithinTheTextArea) {
  std::string longText(1500, 'x');
  EvReportFormatted(EVT_INTERNAL_ERROR, EV_TAG_TEXT, longText.c_str(), EV_TAG_TEXT, "after", EV_TAG_END);
  ASSERT_EQ(1u, capture.events().size());
  const auto& strings = capture.events()[0].strings;
  size_t used = 0;
  for (const std::string& s : strings) used += s.size() + 1;
  EXPECT_LE(used, 1000u);
  EXPECT_EQ(std::string(999, 'x'), strings[0]);

  capture.Clear();
  EvReportFormatted(EVT_INTERNAL_ERROR, EV_TAG_TEXT, "1", EV_TAG_TEXT, "2", EV_TAG_TEXT, "3", EV_TAG_TEXT, "4",
                    EV_TAG_TEXT, "5", EV_TAG_TEXT, "6", EV_TAG_TEXT, "7", EV_TAG_TEXT, "8", EV_TAG_TEXT, "9",
                    EV_TAG_TEXT, "10", EV_TAG_TEXT, "11", EV_TAG_END);
  ASSERT_EQ(1u, capture.events().size());
  EXPECT_EQ(10u, capture.events()[0].strings.size());
}

TEST_F(EventLogTest, InternalErrorCarriesUnitLineAndLastError) {
  SetLastError(1234);
  EvInternalError("vtlpmmon", 830);
  ASSERT_EQ(1u, capture.events().size());
  EXPECT_EQ((std::vector<std::string>{"vtlpmmon", "830", "1234"}), capture.events()[0].strings);
}

TEST_F(EventLogTest, LevelTenIsKeptAndReported) {
  EvSetLevel(10);
  EXPECT_EQ(10u, EvGetLevel());
  ASSERT_EQ(1u, capture.events().size());
  EXPECT_EQ(EVT_INTERNAL_ERROR, capture.events()[0].identifier);
  EXPECT_EQ("eventlog", capture.events()[0].strings[0]);
  EXPECT_EQ("128", capture.events()[0].strings[1]);
}

TEST(EventSourceTest, RegistersMessageFileAndTypes) {
  ASSERT_EQ(ERROR_SUCCESS, EvRegisterSource());
  char file[MAX_PATH] = {};
  DWORD size = sizeof file;
  DWORD type = 0;
  ASSERT_EQ(ERROR_SUCCESS, RegGetValueA(HKEY_LOCAL_MACHINE, kEventSourceKey, "EventMessageFile",
                                        RRF_RT_ANY | RRF_NOEXPAND, &type, file, &size));
  EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), type);
  EXPECT_STREQ("%SystemRoot%\\System32\\vtlpmmw4.dll", file);
  DWORD types = 0;
  size = sizeof types;
  ASSERT_EQ(ERROR_SUCCESS,
            RegGetValueA(HKEY_LOCAL_MACHINE, kEventSourceKey, "TypesSupported", RRF_RT_REG_DWORD, nullptr, &types, &size));
  EXPECT_EQ(7u, types);
}

TEST(EventSourceTest, ReportingThroughTheSystemLogKeepsTheLastError) {
  SetLastError(4321);
  EvReport1(EVT_PORT_NOT_FOUND, "nowhere");
  EXPECT_EQ(4321u, GetLastError());
}

}  // namespace
