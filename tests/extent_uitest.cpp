#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "base/scoped.h"
#include "trace/extent.h"

namespace {

class ExtentListTest : public ::testing::Test {
protected:
  // Narrower than the strings, so that it scrolls; in a font far from the DC's own, so a wrong one shows.
  void SetUp() override {
    list = CreateWindowExA(0, "LISTBOX", "", WS_POPUP | WS_HSCROLL | LBS_NOINTEGRALHEIGHT, 0, 0, 60, 200, nullptr,
                           nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, list);
    SendMessageA(list, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
    ShowWindow(list, SW_SHOWNOACTIVATE);
  }
  void TearDown() override {
    DetachExtentTracker(list);
    DestroyWindow(list);
  }

  // The string's extent in the list box's font plus that font's average character width.
  WORD ExpectedWidth(const std::string& text) {
    ScopedWindowDC dc(list);
    ScopedSelect selected(dc.get(), font.get());
    TEXTMETRICA metrics = {};
    SIZE size = {};
    GetTextMetricsA(dc.get(), &metrics);
    GetTextExtentPoint32A(dc.get(), text.c_str(), static_cast<int>(text.size()), &size);
    return static_cast<WORD>(size.cx + metrics.tmAveCharWidth);
  }
  int TrackAndAdd(const std::string& text) {
    int answer = TrackAddString(list, text.c_str());
    return SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())), answer;
  }
  int TrackAndDelete(int index) {  // the tracker before the list box, as the contract asks
    int answer = TrackDeleteString(list, index);
    return SendMessageA(list, LB_DELETESTRING, index, 0), answer;
  }

  // The tracker holds the items' widths, widest first, in `capacity` slots; the extent is the widest.
  void ExpectTrackerHoldsTheItems(WORD capacity) {
    std::vector<WORD> expected;
    char text[256];
    for (int i = 0; i < SendMessageA(list, LB_GETCOUNT, 0, 0); ++i)
      expected.push_back(ExpectedWidth((SendMessageA(list, LB_GETTEXT, i, LPARAM(text)), text)));
    std::sort(expected.rbegin(), expected.rend());
    ScopedLocalLock locked(static_cast<HLOCAL>(GetPropA(list, kExtentProperty)));
    auto* tracker = static_cast<ExtentTracker*>(locked.get());
    ASSERT_TRUE(tracker);
    EXPECT_EQ(expected, std::vector<WORD>(ExtentWidths(tracker), ExtentWidths(tracker) + tracker->count));
    EXPECT_EQ(capacity, tracker->capacity);
    EXPECT_EQ(expected.empty() ? 0 : expected.front(), SendMessageA(list, LB_GETHORIZONTALEXTENT, 0, 0));
  }

  ScopedGdiObject<HFONT> font{CreateFontA(-30, 0, 0, 0, FW_BOLD, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Tahoma")};
  HWND list = nullptr;
};

TEST_F(ExtentListTest, ExtentFollowsTheWidestStringTheBlockGrowsAndShrinksByWholeStepsAndStopsAtTheCeiling) {
  EXPECT_EQ(-1, TrackAndAdd("untracked"));
  ASSERT_TRUE(AttachExtentTracker(list));
  EXPECT_EQ(-1, TrackAndDelete(0));  // an empty tracker forgets nothing

  const std::string middle = "Pressmark 1", widest = "Pressmark on the second floor";
  EXPECT_EQ(ExpectedWidth(middle), TrackAndAdd(middle));
  EXPECT_EQ(ExpectedWidth(widest), TrackAndAdd(widest));
  EXPECT_EQ(-1, TrackDeleteString(list, 9));  // no such item
  // Scrolled to the right, losing the widest string brings the list back to its left edge.
  SendMessageA(list, WM_HSCROLL, MAKEWPARAM(SB_BOTTOM, 0), 0);
  ASSERT_GT(GetScrollPos(list, SB_HORZ), 0);
  EXPECT_EQ(ExpectedWidth(middle), TrackAndDelete(1));
  EXPECT_EQ(0, GetScrollPos(list, SB_HORZ));

  // 256 items with the middle one; random deletes take widest, narrowest and middle entries.
  std::mt19937 random(3);
  for (int i = 1; i < 256; ++i) {
    TrackAndAdd("port " + std::string(random() % 20, 'w') + std::to_string(i));
    if (i == 127 || i == 128) ExpectTrackerHoldsTheItems(i < 128 ? 128 : 256);
  }
  for (int i = 0; i < 129; ++i) {
    ASSERT_NE(-1, TrackAndDelete(static_cast<int>(random() % (256 - i))));
    if (i % 16 == 0 || i >= 127) ExpectTrackerHoldsTheItems(i < 128 ? 256 : 128);
  }
  // Full at the ceiling until a width is forgotten, then full again.
  for (int i = 127; i < kExtentMaxSlots; ++i) ASSERT_NE(-1, TrackAddString(list, i % 2 ? "a" : "eeeee")) << i;
  EXPECT_EQ(-1, TrackAddString(list, "the widest string of all"));
  EXPECT_NE(-1, TrackAndDelete(0));
  EXPECT_TRUE(TrackAddString(list, "ccc") != -1 && TrackAddString(list, "ccc") == -1);
}

}  // namespace
