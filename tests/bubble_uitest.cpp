#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "base/scoped.h"
#include "diag/BUBBDLG.h"
#include "diag/bubble.h"
#include "dlgutil/extent.h"

namespace {

TEST(BubbleLines, SplitTextTheWayTheWindowShowsIt) {
  const std::string tail = std::string(196, 'x');
  struct Case {
    std::string text;
    std::vector<std::string> lines;
  } cases[] = {
      {"", {""}},
      {"\n\n", {"", "", ""}},
      {"cr\r\nkept", {"cr\r", "kept"}},
      {tail + "\tz\nnext", {tail + "   ", "next"}},  // a tab's spaces past 199 go too
  };
  for (const Case& c : cases) {
    std::vector<std::string> lines;
    char line[kBubbleLineSize];
    for (const char* cursor = c.text.c_str(); BubbleNextLine(&cursor, line);) lines.push_back(line);
    EXPECT_EQ(c.lines, lines) << "text \"" << c.text << "\"";
  }
}

class BubbleTest : public ::testing::Test {
protected:
  void SetUp() override {
    char directory[MAX_PATH];
    GetTempPathA(sizeof directory, directory);
    path = std::string(directory) + "bubble_" + std::to_string(GetCurrentProcessId()) + ".log";
  }
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
    ScopedHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    std::string bytes(file ? GetFileSize(file.get(), nullptr) : 0, '\0');
    DWORD read = 0;
    ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    return bytes;
  }

  static HWND MainDialog(BubbleChannel* channel) {
    return reinterpret_cast<HWND>(GetWindowLongPtrA(channel->window, kBubbleMainDialogSlot));
  }
  static HWND List(BubbleChannel* channel) { return GetDlgItem(MainDialog(channel), IDC_BUBBLE_LIST); }
  static LRESULT ListMessage(BubbleChannel* channel, UINT message) {
    return SendMessageA(List(channel), message, 0, 0);
  }
  static std::vector<std::string> Entries(BubbleChannel* channel) {
    std::vector<std::string> entries;
    for (int i = 0; i < ListMessage(channel, LB_GETCOUNT); ++i) {
      char text[kBubbleLineSize] = {};
      SendMessageA(List(channel), LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
      entries.push_back(text);
    }
    return entries;
  }

  std::string path;
  std::vector<BubbleChannel*> channels;
};

TEST_F(BubbleTest, FileOnlyChannelStartsNoThreadAndWritesEachRecordByteForByte) {
  EXPECT_EQ(nullptr, Open(nullptr, FALSE));
  {
    ScopedHandle old(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    WriteFile(old.get(), "left over", 9, &written, nullptr);
  }
  BubbleChannel* channel = Open(path.c_str(), FALSE);
  ASSERT_NE(nullptr, channel);
  EXPECT_EQ(nullptr, channel->windowThread);

  const std::string longLine(300, 'L');
  BubblePrintf(channel, "a\tb");
  BubblePrintf(channel, "%s", longLine.c_str());
  BubblePrintf(channel, "port %d of %s\n", 3, "lpt");
  BubblePrintf(channel, "%s!", std::string(1500, 'C').c_str());  // cut at 999 characters
  EXPECT_EQ("a\tb\r\n" + longLine + "\r\nport 3 of lpt\n\r\n" + std::string(999, 'C') + "\r\n", FileBytes());
}

// Opens the mark dialog from the Mark button; answers it once it is shown, which the modal loop
// does only after the dialog's initialisation.
HWND OpenMarkDialog(BubbleChannel* channel, HWND mainDialog) {
  PostMessageA(mainDialog, WM_COMMAND, MAKEWPARAM(IDC_BUBBLE_MARK, BN_CLICKED), 0);
  for (int tries = 0; tries < 2000; ++tries) {
    HWND mark = FindWindowA("#32770", "Enter Mark String");
    if (mark && IsWindowVisible(mark) && GetWindowThreadProcessId(mark, nullptr) == channel->windowThreadId) {
      return mark;
    }
    Sleep(5);
  }
  return nullptr;
}

TEST_F(BubbleTest, WindowShowsLinesAndMarksFollowsTheNewestUntilScrolledBackAndClearStartsAgain) {
  BubbleChannel* channel = Open(path.c_str(), TRUE, std::string(100, 'T').c_str());
  ASSERT_TRUE(channel && channel->window);
  char caption[128] = {};
  GetWindowTextA(channel->window, caption, sizeof caption);
  EXPECT_EQ(std::string(63, 'T'), caption);
  RECT client;
  RECT dialog;
  GetClientRect(channel->window, &client);
  GetWindowRect(MainDialog(channel), &dialog);
  EXPECT_EQ(dialog.right - dialog.left, client.right);
  EXPECT_EQ(dialog.bottom - dialog.top, client.bottom);

  const std::string longLine = std::string(250, 'L') + std::string(50, 'R');
  BubblePrintf(channel, "a\tb");
  BubblePrintf(channel, "%s", longLine.c_str());
  BubblePrintf(channel, "x\ny");
  BubblePrintf(channel, "x\n");
  HWND mark = OpenMarkDialog(channel, MainDialog(channel));
  ASSERT_NE(nullptr, mark);
  char text[128] = {};
  GetDlgItemTextA(mark, IDC_BUBBLE_MARK_TEXT, text, sizeof text);
  EXPECT_STREQ("--------------------", text);
  SetDlgItemTextA(mark, IDC_BUBBLE_MARK_TEXT, ("=\t" + std::string(98, '=')).c_str());  // the edit's limit
  SendMessageA(mark, WM_COMMAND, IDOK, 0);
  BubblePrintf(channel, "after");  // returns once the window thread has left the mark dialog
  const std::string markLine = "=      " + std::string(98, '=');
  EXPECT_EQ((std::vector<std::string>{"a      b", longLine.substr(0, 199), "x", "y", "x", "", markLine, "after"}),
            Entries(channel));
  EXPECT_EQ("a\tb\r\n" + longLine + "\r\nx\ny\r\nx\n\r\nafter\r\n", FileBytes());  // no mark
  // Lines sent right after opening count in the extent too.
  EXPECT_EQ(MeasureListString(List(channel), longLine.substr(0, 199).c_str()),
            ListMessage(channel, LB_GETHORIZONTALEXTENT));

  SendMessageA(MainDialog(channel), WM_COMMAND, MAKEWPARAM(IDC_BUBBLE_CLEAR, BN_CLICKED), 0);
  EXPECT_TRUE(Entries(channel).empty());
  EXPECT_EQ(0, ListMessage(channel, LB_GETHORIZONTALEXTENT));
  BubblePrintf(channel, "line 0");
  EXPECT_EQ(std::vector<std::string>{"line 0"}, Entries(channel));
  EXPECT_EQ(MeasureListString(List(channel), "line 0"), ListMessage(channel, LB_GETHORIZONTALEXTENT));
  for (int i = 1; i < 40; ++i) BubblePrintf(channel, "line %d", i);
  // Whole lines in view, as the list box stands now (its scroll bars take their room).
  RECT list;
  GetClientRect(List(channel), &list);
  int visible = list.bottom / static_cast<int>(ListMessage(channel, LB_GETITEMHEIGHT));
  ASSERT_LT(visible, 40);
  EXPECT_EQ(40 - visible, ListMessage(channel, LB_GETTOPINDEX));
  BubblePrintf(channel, "line 40");
  EXPECT_EQ(41 - visible, ListMessage(channel, LB_GETTOPINDEX));
  SendMessageA(List(channel), LB_SETTOPINDEX, 10, 0);
  BubblePrintf(channel, "line 41");
  EXPECT_EQ(10, ListMessage(channel, LB_GETTOPINDEX));
  EXPECT_EQ(42, ListMessage(channel, LB_GETCOUNT));
}

TEST_F(BubbleTest, SecondWindowIsRefusedUntilTheFirstExitsButItsFileIsWritten) {
  BubbleChannel* first = Open(nullptr, TRUE);
  ASSERT_TRUE(first && first->window);
  BubbleChannel* second = Open(path.c_str(), TRUE);
  ASSERT_NE(nullptr, second);
  EXPECT_EQ(nullptr, second->window);
  BubblePrintf(second, "to the file");
  EXPECT_EQ("to the file\r\n", FileBytes());
  EXPECT_TRUE(Entries(first).empty());

  PostMessageA(MainDialog(first), WM_COMMAND, MAKEWPARAM(IDC_BUBBLE_EXIT, BN_CLICKED), 0);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(first->windowThread, 20000));
  EXPECT_EQ(nullptr, first->window);  // a later window reusing the handle never gets its lines
  BubblePrintf(first, "shown nowhere");  // returns although the window is gone
  BubbleChannel* third = Open(nullptr, TRUE);
  EXPECT_TRUE(third && third->window);
}

TEST_F(BubbleTest, LinesFromSeveralThreadsAllArriveInEachThreadsOrder) {
  BubbleChannel* channel = Open(path.c_str(), TRUE);
  ASSERT_TRUE(channel && channel->window);
  constexpr int kThreads = 4;
  constexpr int kLines = 150;
  std::vector<std::thread> senders;
  for (int t = 0; t < kThreads; ++t) {
    senders.emplace_back([channel, t] {
      for (int i = 0; i < kLines; ++i) BubblePrintf(channel, "thread %d line %03d %s", t, i, "padding text");
    });
  }
  for (std::thread& sender : senders) sender.join();

  std::vector<std::string> records;
  std::string bytes = FileBytes();
  for (size_t start = 0, end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2) {
    records.push_back(bytes.substr(start, end - start));
  }
  for (const auto& lines : {Entries(channel), records}) {
    ASSERT_EQ(static_cast<size_t>(kThreads * kLines), lines.size());
    int next[kThreads] = {};
    for (const std::string& line : lines) {
      int t = -1;
      int i = -1;
      char padding[32] = {};
      ASSERT_EQ(3, sscanf(line.c_str(), "thread %d line %d %31[a-z ]", &t, &i, padding)) << line;
      ASSERT_TRUE(t >= 0 && t < kThreads) << line;
      EXPECT_EQ(next[t]++, i) << line;
      EXPECT_STREQ("padding text", padding) << line;
    }
  }
}

}  // namespace
