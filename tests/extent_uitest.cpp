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

// The tracker as the list box holds it; capacity 0 when there is none.
struct TrackerState {
  WORD capacity = 0;
  SIZE_T blockSize = 0;
  std::vector<WORD> widths;
};

TrackerState ReadTracker(HWND list) {
  TrackerState state;
  auto block = static_cast<HLOCAL>(GetPropA(list, kExtentProperty));
  ScopedLocalLock locked(block);
  if (!locked) return state;
  auto* tracker = static_cast<ExtentTracker*>(locked.get());
  state.capacity = tracker->capacity;
  state.blockSize = LocalSize(block);
  state.widths.assign(ExtentWidths(tracker), ExtentWidths(tracker) + tracker->count);
  return state;
}

class ExtentListTest : public ::testing::Test {
protected:
  void SetUp() override {
    // Narrower than the strings, so that a wide extent can be scrolled.
    list = CreateWindowExA(0, "LISTBOX", "", WS_POPUP | WS_HSCROLL | LBS_NOINTEGRALHEIGHT, 0, 0, 60, 200, nullptr,
                           nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, list);
    // A font far from the device context's own, so that measuring in the wrong one shows.
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
    GetTextMetricsA(dc.get(), &metrics);
    SIZE size = {};
    GetTextExtentPoint32A(dc.get(), text.c_str(), static_cast<int>(text.size()), &size);
    return static_cast<WORD>(size.cx + metrics.tmAveCharWidth);
  }
  LRESULT Extent() { return SendMessageA(list, LB_GETHORIZONTALEXTENT, 0, 0); }
  int Items() { return static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0)); }

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
  // its capacity, and the extent is the widest.
  void ExpectTrackerMatchesItems() {
    std::vector<WORD> expected;
    for (int i = 0; i < Items(); ++i) {
      char text[256] = {};
      SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
      expected.push_back(ExpectedWidth(text));
    }
    std::sort(expected.begin(), expected.end(), std::greater<WORD>());
    TrackerState state = ReadTracker(list);
    ASSERT_EQ(expected, state.widths);
    EXPECT_EQ(ExtentBlockSize(state.capacity), state.blockSize);
    EXPECT_EQ(expected.empty() ? 0 : expected.front(), Extent());
  }

  ScopedGdiObject<HFONT> font{CreateFontA(-30, 0, 0, 0, FW_BOLD, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Tahoma")};
  HWND list = nullptr;
};

TEST_F(ExtentListTest, ExtentFollowsTheWidestStringAddedAndDeleted) {
  const std::string middle = "Pressmark 1", widest = "Pressmark on the second floor", narrow = "P";
  WORD middleWidth = ExpectedWidth(middle);
  WORD widestWidth = ExpectedWidth(widest);
  ASSERT_LT(ExpectedWidth(narrow), middleWidth);
  ASSERT_LT(middleWidth, widestWidth);
  ASSERT_EQ(widestWidth, MeasureListString(list, widest.c_str()));

  ASSERT_TRUE(AttachExtentTracker(list));
  EXPECT_EQ(middleWidth, TrackAndAdd(middle));
  EXPECT_EQ(widestWidth, TrackAndAdd(widest));
  EXPECT_EQ(0, TrackAndAdd(narrow));
  ExpectTrackerMatchesItems();

  // Scrolled to the right, losing the widest string brings the list back to its left edge.
  SendMessageA(list, WM_HSCROLL, MAKEWPARAM(SB_BOTTOM, 0), 0);
  ASSERT_GT(GetScrollPos(list, SB_HORZ), 0);
  EXPECT_EQ(middleWidth, TrackAndDelete(1));
  EXPECT_EQ(0, GetScrollPos(list, SB_HORZ));
  EXPECT_EQ(0, TrackAndDelete(1));
  ExpectTrackerMatchesItems();
  EXPECT_EQ(0, TrackAndDelete(0));
  ExpectTrackerMatchesItems();

  // Nothing tracked to forget, or no such item: nothing changes.
  SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("untracked"));
  EXPECT_EQ(-1, TrackDeleteString(list, 0));
  EXPECT_GT(TrackAndAdd(widest), 0);
  EXPECT_EQ(-1, TrackDeleteString(list, 5));
  EXPECT_EQ(1u, ReadTracker(list).widths.size());
}

TEST_F(ExtentListTest, GrowsAtThe129thAddAndShrinksAfter129Deletes) {
  ASSERT_TRUE(AttachExtentTracker(list));
  std::mt19937 random(3);
  for (int i = 0; i < 256; ++i) {
    TrackAndAdd("port " + std::string(random() % 20, 'w') + std::to_string(i));
    ASSERT_EQ(i < 128 ? 128 : 256, ReadTracker(list).capacity) << "after add " << i + 1;
  }
  ExpectTrackerMatchesItems();
  // From random places, so that widest, narrowest and middle entries all go.
  for (int i = 0; i < 129; ++i) {
    ASSERT_NE(-1, TrackAndDelete(static_cast<int>(random() % Items())));
    ASSERT_EQ(i < 128 ? 256 : 128, ReadTracker(list).capacity) << "after delete " << i + 1;
    if (i % 16 == 0 || i == 128) ExpectTrackerMatchesItems();
  }
}

TEST_F(ExtentListTest, RefusesAddsBeyondTheCeilingUntilAWidthIsForgotten) {
  ASSERT_TRUE(AttachExtentTracker(list));
  const char* texts[] = {"a", "bb", "ccc", "dddd", "eeeee"};
  for (int i = 0; i < kExtentMaxSlots; ++i) ASSERT_NE(-1, TrackAddString(list, texts[i % 5])) << i;
  EXPECT_EQ(-1, TrackAddString(list, "the widest string of all"));
  TrackerState full = ReadTracker(list);
  EXPECT_EQ(kExtentMaxSlots, full.widths.size());
  EXPECT_EQ(65284u, full.blockSize);
  EXPECT_EQ(ExpectedWidth("eeeee"), Extent());
  EXPECT_TRUE(std::is_sorted(full.widths.begin(), full.widths.end(), std::greater<WORD>()));

  SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("ccc"));
  EXPECT_NE(-1, TrackDeleteString(list, 0));
  EXPECT_NE(-1, TrackAddString(list, "ccc"));
  EXPECT_EQ(kExtentMaxSlots, ReadTracker(list).widths.size());
}

TEST_F(ExtentListTest, UntrackedListAnswersMinusOneAndResetLeavesAFreshTracker) {
  SendMessageA(list, LB_SETHORIZONTALEXTENT, 77, 0);
  EXPECT_EQ(-1, TrackAndAdd("something rather wide for this list"));
  EXPECT_EQ(-1, TrackDeleteString(list, 0));
  ASSERT_TRUE(AttachExtentTracker(list));
  DetachExtentTracker(list);
  EXPECT_EQ(nullptr, GetPropA(list, kExtentProperty));
  EXPECT_EQ(-1, TrackAddString(list, "x"));
  EXPECT_EQ(77, Extent());

  ASSERT_TRUE(AttachExtentTracker(list));
  for (int i = 0; i < 200; ++i) TrackAndAdd("item number " + std::to_string(i));
  ASSERT_EQ(256, ReadTracker(list).capacity);
  SendMessageA(list, LB_RESETCONTENT, 0, 0);
  ResetExtentTracker(list);
  EXPECT_EQ(128, ReadTracker(list).capacity);
  ExpectTrackerMatchesItems();
  EXPECT_EQ(ExpectedWidth("x"), TrackAndAdd("x"));
  ExpectTrackerMatchesItems();
}

}  // namespace
