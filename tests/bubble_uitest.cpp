#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "BUBBDLG.h"
#include "dialogdriver.h"
#include "trace/bubble.h"
#include "trace/extent.h"

namespace {

TEST(BubbleLines, SplitTextTheWayTheWindowShowsIt) {
  const std::string tail(196, 'x'), text = "\n" + tail + "\tz\ncr\r\n";  // a tab's spaces past 199 go too
  std::vector<std::string> lines;
  char line[kBubbleLineSize];
  for (const char* cursor = text.c_str(); BubbleNextLine(&cursor, line);) lines.push_back(line);
  EXPECT_EQ((std::vector<std::string>{"", tail + "   ", "cr\r", ""}), lines);
}

class BubbleTest : public ::testing::Test {
protected:
  void TearDown() override {
    for (BubbleChannel* channel : channels) BubbleClose(channel);
    DeleteFileA(path.c_str());
  }
  BubbleChannel* Open(const char* file, BOOL window, const char* title = "Bubble test") {
    BubbleChannel* channel = BubbleOpen(GetModuleHandleA(nullptr), file, window, title);
    if (channel) channels.push_back(channel);
    return channel;
  }
  std::string FileBytes() {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
  }

  std::string path = "bubble_" + std::to_string(GetCurrentProcessId()) + ".log";  // in the test's directory
  std::vector<BubbleChannel*> channels;
};

// Records of several threads never mix, and each thread's come in its order.
TEST_F(BubbleTest, FileOnlyChannelReplacesTheFileAndWritesEachRecordWhole) {
  std::ofstream(path) << std::string(2000, 'x');  // longer than what follows
  BubbleChannel* channel = Open(path.c_str(), FALSE);
  ASSERT_NE(nullptr, channel);
  BubblePrintf(channel, "%s!", std::string(1500, 'C').c_str());  // cut at 999 characters
  ASSERT_EQ(std::string(999, 'C') + "\r\n", FileBytes());
  constexpr int kThreads = 4, kLines = 2000;
  std::vector<std::thread> pool;
  for (int t = 0; t < kThreads; ++t)
    pool.emplace_back([=] { for (int i = 0; i < kLines; ++i) BubblePrintf(channel, "thread %d line %04d\n", t, i); });
  for (std::thread& thread : pool) thread.join();
  std::string bytes = FileBytes();
  ASSERT_EQ(1001 + kThreads * kLines * 21u, bytes.size());
  int next[kThreads] = {};
  for (size_t at = 1001; at < bytes.size(); at += 21) {
    int t = -1, i = -1;
    sscanf(bytes.c_str() + at, "thread %1d line %4d", &t, &i);
    ASSERT_TRUE(t >= 0 && t < kThreads && next[t]++ == i && bytes.compare(at + 18, 3, "\n\r\n") == 0) << at;
  }
}

TEST_F(BubbleTest, WindowShowsEveryLineFollowsTheNewestAndGivesWayToALaterWindowOnceClosed) {
  BubbleChannel* channel = Open(path.c_str(), TRUE, std::string(100, 'T').c_str());
  ASSERT_TRUE(channel && channel->window);
  EXPECT_EQ(std::string(63, 'T'), WindowText(channel->window));
  auto dialog = reinterpret_cast<HWND>(GetWindowLongPtrA(channel->window, kBubbleMainDialogSlot));
  HWND list = GetDlgItem(dialog, IDC_BUBBLE_LIST);
  RECT placed;
  GetWindowRect(dialog, &placed);
  EXPECT_EQ(placed.right - placed.left, ClientSize(channel->window).cx);
  EXPECT_EQ(placed.bottom - placed.top, ClientSize(channel->window).cy);

  const std::string longLine(250, 'L');
  BubblePrintf(channel, "a\tb\n%s", longLine.c_str());
  char text[kBubbleLineSize];
  ASSERT_EQ(2, SendMessageA(list, LB_GETCOUNT, 0, 0));
  EXPECT_EQ("a      b", (SendMessageA(list, LB_GETTEXT, 0, LPARAM(text)), std::string(text)));
  EXPECT_EQ(longLine.substr(0, 199), (SendMessageA(list, LB_GETTEXT, 1, LPARAM(text)), std::string(text)));
  // The tracker was there before the first line came.
  EXPECT_EQ(MeasureListString(list, text), SendMessageA(list, LB_GETHORIZONTALEXTENT, 0, 0));

  SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_BUBBLE_CLEAR, BN_CLICKED), 0);
  BubblePrintf(channel, "line 0");
  EXPECT_EQ(MeasureListString(list, "line 0"), SendMessageA(list, LB_GETHORIZONTALEXTENT, 0, 0));
  for (int i = 1; i < 40; ++i) BubblePrintf(channel, "line %d", i);
  // The view follows the newest line, by the lines it shows whole, until the user scrolls back.
  int visible = ClientSize(list).cy / static_cast<int>(SendMessageA(list, LB_GETITEMHEIGHT, 0, 0));
  EXPECT_EQ(40 - visible, SendMessageA(list, LB_GETTOPINDEX, 0, 0));
  SendMessageA(list, LB_SETTOPINDEX, 10, 0);
  BubblePrintf(channel, "one more");
  EXPECT_EQ(10, SendMessageA(list, LB_GETTOPINDEX, 0, 0));

  EXPECT_TRUE(Open(nullptr, TRUE) && !channels.back()->window);  // one window at a time
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_BUBBLE_EXIT, BN_CLICKED), 0);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(channel->windowThread, 20000));
  EXPECT_EQ(nullptr, channel->window);  // a later window reusing the handle never gets its lines
  BubblePrintf(channel, "file only");
  EXPECT_EQ("file only\r\n", FileBytes().substr(FileBytes().size() - 11));
  EXPECT_TRUE(Open(nullptr, TRUE) && channels.back()->window);
}

}  // namespace
