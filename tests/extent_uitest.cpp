#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "dlgutil/extent.h"

namespace {

// The tracker as the list box holds it.
struct TrackerState {
  bool attached = false;
  WORD count = 0;
  WORD capacity = 0;
  SIZE_T blockSize = 0;
  std::vector<WORD> widths;  // the first `count` slots
};

TrackerState ReadTracker(HWND list) {
  TrackerState state;
  auto block = static_cast<HLOCAL>(GetPropA(list, kExtentProperty));
  if (!block) return state;
  state.attached = true;
  state.blockSize = LocalSize(block);
  auto* tracker = static_cast<ExtentTracker*>(LocalLock(block));
  if (!tracker) return state;
  state.count = tracker->count;
  state.capacity = tracker->capacity;
  state.widths.assign(ExtentWidths(tracker), ExtentWidths(tracker) + tracker->count);
  LocalUnlock(block);
  return state;
}

// Exhaustive check of every non-increasing list of `length` widths drawn from 1..4.
void ForEachDescendingList(std::vector<WORD>& widths, size_t length, const std::function<void()>& check) {
  if (widths.size() == length) {
    check();
    return;
  }
  WORD top = widths.empty() ? 4 : widths.back();
  for (WORD width = 1; width <= top; ++width) {
    widths.push_back(width);
    ForEachDescendingList(widths, length, check);
    widths.pop_back();
  }
}

TEST(ExtentArithmetic, FindsAnOrderKeepingPositionAndEqualEntries) {
  for (size_t length = 0; length <= 7; ++length) {
    std::vector<WORD> widths;
    ForEachDescendingList(widths, length, [&] {
      auto count = static_cast<WORD>(widths.size());
      for (WORD width = 0; width <= 5; ++width) {
        WORD position = FindWidthPosition(widths.data(), width, count);
        SCOPED_TRACE(::testing::Message() << "count " << count << " width " << width);
        ASSERT_LE(position, count);
        EXPECT_TRUE(position == 0 || widths[position - 1] >= width);
        EXPECT_TRUE(position == count || widths[position] <= width);
        bool stored = std::find(widths.begin(), widths.end(), width) != widths.end();
        if (stored) {
          ASSERT_LT(position, count);
          EXPECT_EQ(width, widths[position]);
        }
      }
    });
  }
}

class ExtentListTest : public ::testing::Test {
protected:
  void SetUp() override {
    parent = CreateWindowExA(0, "STATIC", "extent", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, parent);
    // Narrower than the strings, so that a wide extent can be scrolled.
    list = CreateWindowExA(0, "LISTBOX", "", WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_HSCROLL |
                           LBS_NOINTEGRALHEIGHT, 10, 10, 60, 200, parent, nullptr, GetModuleHandleA(nullptr),
                           nullptr);
    ASSERT_NE(nullptr, list);
    // A font far from the device context's own, so that measuring in the wrong one shows.
    font = CreateFontA(-30, 0, 0, 0, FW_BOLD, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Tahoma");
    ASSERT_NE(nullptr, font);
    SendMessageA(list, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    ShowWindow(parent, SW_SHOWNOACTIVATE);
  }

  void TearDown() override {
    if (list) DetachExtentTracker(list);
    if (parent) DestroyWindow(parent);
    if (font) DeleteObject(font);
  }

  // The string's width worked out here: its extent in the list box's font plus that font's
  // average character width.
  WORD ExpectedWidth(const std::string& text) {
    HDC dc = GetDC(list);
    HGDIOBJ previous = SelectObject(dc, font);
    TEXTMETRICA metrics = {};
    GetTextMetricsA(dc, &metrics);
    SIZE size = {};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, previous);
    ReleaseDC(list, dc);
    return static_cast<WORD>(size.cx + metrics.tmAveCharWidth);
  }

  LRESULT Extent() { return SendMessageA(list, LB_GETHORIZONTALEXTENT, 0, 0); }

  void AddItem(const std::string& text) {
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }

  // Adds an item the way an owner does: tracker first, then the list box.
  int TrackAndAdd(const std::string& text) {
    int answer = TrackAddString(list, text.c_str());
    AddItem(text);
    return answer;
  }

  int TrackAndDelete(int index) {
    int answer = TrackDeleteString(list, index);
    SendMessageA(list, LB_DELETESTRING, index, 0);
    return answer;
  }

  // The tracker holds exactly the widths of the list box's items, widest first, and the
  // extent is the widest of them.
  void ExpectTrackerMatchesItems() {
    std::vector<WORD> expected;
    int items = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < items; ++i) {
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

  HWND parent = nullptr;
  HWND list = nullptr;
  HFONT font = nullptr;
};

TEST_F(ExtentListTest, ExtentFollowsTheWidestStringAddedAndDeleted) {
  const std::string middle = "Pressmark 1";
  const std::string widest = "Pressmark on the second floor";
  const std::string narrow = "P";
  WORD middleWidth = ExpectedWidth(middle);
  WORD widestWidth = ExpectedWidth(widest);
  WORD narrowWidth = ExpectedWidth(narrow);
  ASSERT_LT(narrowWidth, middleWidth);
  ASSERT_LT(middleWidth, widestWidth);
  ASSERT_EQ(widestWidth, MeasureListString(list, widest.c_str()));

  ASSERT_TRUE(AttachExtentTracker(list));
  TrackerState fresh = ReadTracker(list);
  EXPECT_EQ(0, fresh.count);
  EXPECT_EQ(128, fresh.capacity);
  EXPECT_EQ(260u, fresh.blockSize);

  EXPECT_EQ(middleWidth, TrackAndAdd(middle));
  EXPECT_EQ(middleWidth, Extent());
  EXPECT_EQ(widestWidth, TrackAndAdd(widest));
  EXPECT_EQ(widestWidth, Extent());
  EXPECT_EQ(0, TrackAndAdd(narrow));
  EXPECT_EQ(widestWidth, Extent());
  EXPECT_EQ((std::vector<WORD>{widestWidth, middleWidth, narrowWidth}), ReadTracker(list).widths);

  // Scrolled to the right, losing the widest string brings the list back to its left edge.
  SendMessageA(list, WM_HSCROLL, MAKEWPARAM(SB_BOTTOM, 0), 0);
  ASSERT_GT(GetScrollPos(list, SB_HORZ), 0);
  EXPECT_EQ(middleWidth, TrackAndDelete(1));
  EXPECT_EQ(middleWidth, Extent());
  EXPECT_EQ(0, GetScrollPos(list, SB_HORZ));

  EXPECT_EQ(0, TrackAndDelete(1));  // the narrow one
  EXPECT_EQ(middleWidth, Extent());
  EXPECT_EQ(0, TrackAndDelete(0));  // the last one
  EXPECT_EQ(0, Extent());
  EXPECT_EQ(0, ReadTracker(list).count);

  // Nothing left to forget, and no such item: nothing changes.
  AddItem(middle);
  EXPECT_EQ(-1, TrackDeleteString(list, 0));
  EXPECT_GT(TrackAndAdd(widest), 0);
  EXPECT_EQ(-1, TrackDeleteString(list, 5));
  EXPECT_EQ(1, ReadTracker(list).count);
}

TEST_F(ExtentListTest, GrowsAtThe129thAddAndShrinksAfter129Deletes) {
  ASSERT_TRUE(AttachExtentTracker(list));
  std::mt19937 random(3);
  for (int i = 0; i < 256; ++i) {
    TrackAndAdd("port " + std::string(random() % 20, 'w') + std::to_string(i));
    TrackerState state = ReadTracker(list);
    ASSERT_EQ(i + 1, state.count);
    ASSERT_EQ(i < 128 ? 128 : 256, state.capacity) << "after add " << i + 1;
  }
  ExpectTrackerMatchesItems();
  EXPECT_EQ(516u, ReadTracker(list).blockSize);

  // Delete from several places, so that widest, narrowest and middle entries all go.
  for (int i = 0; i < 129; ++i) {
    int items = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
    int answer = TrackAndDelete(static_cast<int>(random() % items));
    ASSERT_NE(-1, answer);
    TrackerState state = ReadTracker(list);
    ASSERT_EQ(i < 128 ? 256 : 128, state.capacity) << "after delete " << i + 1;
    if (i % 16 == 0 || i == 128) ExpectTrackerMatchesItems();
  }
  TrackerState state = ReadTracker(list);
  EXPECT_EQ(127, state.count);
  EXPECT_EQ(260u, state.blockSize);
}

TEST_F(ExtentListTest, RefusesAddsBeyondTheCeilingAndKeepsItsWidths) {
  ASSERT_TRUE(AttachExtentTracker(list));
  const char* texts[] = {"a", "bb", "ccc", "dddd", "eeeee"};
  int refused = 0;
  for (int i = 0; i < kExtentMaxSlots; ++i) {
    if (TrackAddString(list, texts[i % 5]) == -1) ++refused;
  }
  ASSERT_EQ(0, refused);
  LRESULT extent = Extent();
  EXPECT_EQ(ExpectedWidth("eeeee"), extent);

  EXPECT_EQ(-1, TrackAddString(list, "the widest string of all"));
  TrackerState full = ReadTracker(list);
  EXPECT_EQ(kExtentMaxSlots, full.count);
  EXPECT_EQ(kExtentMaxSlots, full.capacity);
  EXPECT_EQ(65284u, full.blockSize);
  EXPECT_EQ(extent, Extent());
  EXPECT_TRUE(std::is_sorted(full.widths.begin(), full.widths.end(), std::greater<WORD>()));
  EXPECT_EQ(ExpectedWidth("a"), full.widths.back());

  // Forgetting one width makes room again.
  AddItem("ccc");
  EXPECT_NE(-1, TrackDeleteString(list, 0));
  EXPECT_EQ(kExtentMaxSlots - 1, ReadTracker(list).count);
  EXPECT_NE(-1, TrackAddString(list, "ccc"));
  EXPECT_EQ(kExtentMaxSlots, ReadTracker(list).count);
}

TEST_F(ExtentListTest, UntrackedListAnswersMinusOneAndKeepsItsExtent) {
  SendMessageA(list, LB_SETHORIZONTALEXTENT, 77, 0);
  AddItem("something rather wide for this list");
  EXPECT_EQ(-1, TrackAddString(list, "something rather wide for this list"));
  EXPECT_EQ(-1, TrackDeleteString(list, 0));
  EXPECT_EQ(77, Extent());

  ASSERT_TRUE(AttachExtentTracker(list));
  DetachExtentTracker(list);
  EXPECT_EQ(nullptr, GetPropA(list, kExtentProperty));
  EXPECT_EQ(-1, TrackAddString(list, "x"));
  EXPECT_EQ(77, Extent());
}

TEST_F(ExtentListTest, ResetLeavesAFreshTrackerAndNoExtent) {
  ASSERT_TRUE(AttachExtentTracker(list));
  for (int i = 0; i < 200; ++i) TrackAndAdd("item number " + std::to_string(i));
  ASSERT_EQ(256, ReadTracker(list).capacity);
  ASSERT_GT(Extent(), 0);

  SendMessageA(list, LB_RESETCONTENT, 0, 0);
  ResetExtentTracker(list);
  TrackerState state = ReadTracker(list);
  ASSERT_TRUE(state.attached);
  EXPECT_EQ(0, state.count);
  EXPECT_EQ(128, state.capacity);
  EXPECT_EQ(260u, state.blockSize);
  EXPECT_EQ(0, Extent());

  EXPECT_EQ(ExpectedWidth("x"), TrackAndAdd("x"));
  ExpectTrackerMatchesItems();
}

}  // namespace
