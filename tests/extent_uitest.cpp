#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "base/scoped.h"
#include "dlgutil/extent.h"

namespace {

class ExtentListTest : public ::testing::Test {
protected:
  // Narrower than the strings, so that a wide extent can be scrolled; in a font far from the
  // device context's own, so that measuring in the wrong one shows.
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
  LRESULT Extent() { return SendMessageA(list, LB_GETHORIZONTALEXTENT, 0, 0); }
  // Tracker first, then the list box, as an owner adds and deletes items.
  int TrackAndAdd(const std::string& text) {
    int answer = TrackAddString(list, text.c_str());
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    return answer;
  }
  int TrackAndDelete(int index) {
    int answer = TrackDeleteString(list, index);
    SendMessageA(list, LB_DELETESTRING, index, 0);
    return answer;
  }

  // The tracker holds exactly the widths of the list box's items, widest first, in a block of
  // `capacity` slots, and the extent is the widest.
  void ExpectTrackerHoldsTheItems(WORD capacity) {
    std::vector<WORD> expected(SendMessageA(list, LB_GETCOUNT, 0, 0));
    for (size_t i = 0; i < expected.size(); ++i) {
      char text[256] = {};
      SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
      expected[i] = ExpectedWidth(text);
    }
    std::sort(expected.begin(), expected.end(), std::greater<WORD>());
    auto block = static_cast<HLOCAL>(GetPropA(list, kExtentProperty));
    ScopedLocalLock locked(block);
    ASSERT_TRUE(locked);
    auto* tracker = static_cast<ExtentTracker*>(locked.get());
    EXPECT_EQ(expected, std::vector<WORD>(ExtentWidths(tracker), ExtentWidths(tracker) + tracker->count));
    EXPECT_EQ(capacity, tracker->capacity);
    EXPECT_EQ(ExtentBlockSize(capacity), LocalSize(block));
    EXPECT_EQ(expected.empty() ? 0 : expected.front(), Extent());
  }

  ScopedGdiObject<HFONT> font{CreateFontA(-30, 0, 0, 0, FW_BOLD, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Tahoma")};
  HWND list = nullptr;
};

// One tracker's life. Answers: the new extent when the widest changed, 0 when not, -1 when
// nothing was tracked.
TEST_F(ExtentListTest, ExtentFollowsTheWidestStringWhileTheBlockGrowsAndShrinksByWholeSteps) {
  SendMessageA(list, LB_SETHORIZONTALEXTENT, 77, 0);
  EXPECT_EQ(-1, TrackAndAdd("untracked"));
  EXPECT_EQ(-1, TrackDeleteString(list, 0));
  EXPECT_EQ(77, Extent());
  ASSERT_TRUE(AttachExtentTracker(list));
  EXPECT_EQ(-1, TrackAndDelete(0));  // an empty tracker forgets nothing

  const std::string middle = "Pressmark 1", widest = "Pressmark on the second floor";
  EXPECT_EQ(ExpectedWidth(middle), TrackAndAdd(middle));
  EXPECT_EQ(ExpectedWidth(widest), TrackAndAdd(widest));
  EXPECT_EQ(0, TrackAndAdd("P"));
  EXPECT_EQ(-1, TrackDeleteString(list, 9));  // no such item
  // Scrolled to the right, losing the widest string brings the list back to its left edge.
  SendMessageA(list, WM_HSCROLL, MAKEWPARAM(SB_BOTTOM, 0), 0);
  ASSERT_GT(GetScrollPos(list, SB_HORZ), 0);
  EXPECT_EQ(ExpectedWidth(middle), TrackAndDelete(1));
  EXPECT_EQ(0, GetScrollPos(list, SB_HORZ));
  EXPECT_EQ(0, TrackAndDelete(1));
  ExpectTrackerHoldsTheItems(128);
  EXPECT_EQ(0, TrackAndDelete(0));  // the last one goes: no extent

  // Deletes from random places, so that widest, narrowest and middle entries all go.
  std::mt19937 random(3);
  for (int i = 0; i < 256; ++i) {
    TrackAndAdd("port " + std::string(random() % 20, 'w') + std::to_string(i));
    if (i == 127 || i == 128) ExpectTrackerHoldsTheItems(i < 128 ? 128 : 256);
  }
  for (int i = 0; i < 129; ++i) {
    ASSERT_NE(-1, TrackAndDelete(static_cast<int>(random() % (256 - i))));
    if (i % 16 == 0 || i >= 127) ExpectTrackerHoldsTheItems(i < 128 ? 256 : 128);
  }
  for (const char* text : {"to 128 items", "to 129 items, in 256 slots"}) TrackAndAdd(text);
  SendMessageA(list, LB_RESETCONTENT, 0, 0);
  ResetExtentTracker(list);
  ExpectTrackerHoldsTheItems(128);
  EXPECT_EQ(ExpectedWidth("x"), TrackAndAdd("x"));
  DetachExtentTracker(list);
  EXPECT_EQ(nullptr, GetPropA(list, kExtentProperty));
}

TEST_F(ExtentListTest, RefusesAddsBeyondTheCeilingUntilAWidthIsForgotten) {
  ASSERT_TRUE(AttachExtentTracker(list));
  const char* texts[] = {"a", "bb", "ccc", "dddd", "eeeee"};
  for (int i = 0; i < kExtentMaxSlots; ++i) ASSERT_NE(-1, TrackAddString(list, texts[i % 5])) << i;
  EXPECT_EQ(-1, TrackAddString(list, "the widest string of all"));
  EXPECT_EQ(ExpectedWidth("eeeee"), Extent());
  SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("ccc"));
  EXPECT_NE(-1, TrackDeleteString(list, 0));
  EXPECT_NE(-1, TrackAddString(list, "ccc"));
  EXPECT_EQ(-1, TrackAddString(list, "ccc"));  // full again
}

}  // namespace
