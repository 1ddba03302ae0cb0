#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "diag/BUBBDLG.h"
#include "diag/bubble.h"
#include "dlgutil/extent.h"

namespace {

std::vector<std::string> SplitLines(const char* text) {
  std::vector<std::string> lines;
  char line[kBubbleLineSize];
  const char* cursor = text;
  while (BubbleNextLine(&cursor, line)) lines.push_back(line);
  return lines;
}

TEST(BubbleLines, SplitsTextTheWayTheWindowShowsIt) {
  const std::string tail200 = std::string(196, 'x');
  struct Case {
    std::string text;
    std::vector<std::string> lines;
  } cases[] = {
      {"a\tb", {"a      b"}},
      {"", {""}},
      {"x\ny", {"x", "y"}},
      {"x\n", {"x", ""}},
      {"\n\n", {"", "", ""}},
      {"cr\r\nkept", {"cr\r", "kept"}},
      {std::string(300, 'L'), {std::string(199, 'L')}},
      {tail200 + "\tz\nnext", {tail200 + "   ", "next"}},  // a tab's spaces past 199 go too
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.lines, SplitLines(c.text.c_str())) << "text \"" << c.text << "\"";
  }
}

TEST(BubbleLines, ViewFollowsTheNewestLineUnlessScrolledBack) {
  EXPECT_EQ(25, BubbleTopIndex(40, 24, 16));  // the newest is the sixteenth line in view
  EXPECT_EQ(-1, BubbleTopIndex(40, 10, 16));
  EXPECT_EQ(0, BubbleTopIndex(3, 0, 16));
  EXPECT_EQ(0, BubbleTopIndex(0, 0, 16));
  EXPECT_EQ(23, BubbleTopIndex(40, 22, 18));  // a taller view keeps the newest at its bottom
  EXPECT_EQ(-1, BubbleTopIndex(40, 21, 18));
}

class BubbleTest : public ::testing::Test {
protected:
  void SetUp() override {
    char directory[MAX_PATH];
    GetTempPathA(sizeof directory, directory);
    static int serial = 0;
    path = std::string(directory) + "bubble_" + std::to_string(GetCurrentProcessId()) + "_" +
           std::to_string(++serial) + ".log";
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
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<no file>";
    std::string bytes(GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(file);
    return bytes;
  }

  static HWND MainDialog(BubbleChannel* channel) {
    return reinterpret_cast<HWND>(GetWindowLongPtrA(channel->window, kBubbleMainDialogSlot));
  }
  static HWND List(BubbleChannel* channel) { return GetDlgItem(MainDialog(channel), IDC_BUBBLE_LIST); }

  static std::vector<std::string> Entries(BubbleChannel* channel) {
    HWND list = List(channel);
    std::vector<std::string> entries;
    int count = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
      char text[kBubbleLineSize] = {};
      SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
      entries.push_back(text);
    }
    return entries;
  }

  static int TopIndex(BubbleChannel* channel) {
    return static_cast<int>(SendMessageA(List(channel), LB_GETTOPINDEX, 0, 0));
  }

  std::string path;
  std::vector<BubbleChannel*> channels;
};

TEST_F(BubbleTest, FileOnlyChannelWritesEachRecordByteForByte) {
  EXPECT_EQ(nullptr, Open(nullptr, FALSE));

  HANDLE old = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(old, "left over", 9, &written, nullptr);
  CloseHandle(old);

  BubbleChannel* channel = Open(path.c_str(), FALSE, std::string(100, 'T').c_str());
  ASSERT_NE(nullptr, channel);
  EXPECT_EQ(nullptr, channel->windowThread);
  EXPECT_EQ(nullptr, channel->window);
  EXPECT_EQ(std::string(63, 'T'), channel->title);

  const std::string longLine(300, 'L');
  BubblePrintf(channel, "a\tb");
  BubblePrintf(channel, "%s", longLine.c_str());
  BubblePrintf(channel, "port %d of %s\n", 3, "lpt");
  BubblePrintf(channel, "");
  BubblePrintf(channel, "%s!", std::string(1500, 'C').c_str());  // cut at 999 characters
  EXPECT_EQ("a\tb\r\n" + longLine + "\r\nport 3 of lpt\n\r\n\r\n" + std::string(999, 'C') + "\r\n", FileBytes());
}

TEST_F(BubbleTest, WindowShowsLinesAndTheFileKeepsThemWhole) {
  BubbleChannel* channel = Open(path.c_str(), TRUE, "Trace of tests");
  ASSERT_NE(nullptr, channel);
  ASSERT_NE(nullptr, channel->window);
  char caption[80] = {};
  GetWindowTextA(channel->window, caption, sizeof caption);
  EXPECT_STREQ("Trace of tests", caption);

  // The frame's client area is the dialog's whole size.
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
  EXPECT_EQ((std::vector<std::string>{"a      b", longLine.substr(0, 199), "x", "y", "x", ""}), Entries(channel));
  EXPECT_EQ("a\tb\r\n" + longLine + "\r\nx\ny\r\nx\n\r\n", FileBytes());

  // Lines sent at once after opening count in the extent, so the longest can be scrolled to.
  EXPECT_EQ(MeasureListString(List(channel), longLine.substr(0, 199).c_str()),
            SendMessageA(List(channel), LB_GETHORIZONTALEXTENT, 0, 0));
}

TEST_F(BubbleTest, ViewFollowsNewLinesUntilScrolledBackAndClearStartsAgain) {
  BubbleChannel* channel = Open(nullptr, TRUE);
  ASSERT_NE(nullptr, channel);
  ASSERT_NE(nullptr, channel->window);
  HWND list = List(channel);
  for (int i = 0; i < 40; ++i) BubblePrintf(channel, "line %d", i);
  // Whole lines in view, as the list box stands now (its scroll bars take their room).
  RECT client;
  GetClientRect(list, &client);
  int visible = client.bottom / static_cast<int>(SendMessageA(list, LB_GETITEMHEIGHT, 0, 0));
  ASSERT_LT(visible, 40);
  EXPECT_EQ(40 - visible, TopIndex(channel));  // line 39 at the bottom of the view
  BubblePrintf(channel, "line 40");
  EXPECT_EQ(41 - visible, TopIndex(channel));

  SendMessageA(list, LB_SETTOPINDEX, 10, 0);
  BubblePrintf(channel, "line 41");
  EXPECT_EQ(10, TopIndex(channel));
  EXPECT_EQ(42u, Entries(channel).size());

  SendMessageA(MainDialog(channel), WM_COMMAND, MAKEWPARAM(IDC_BUBBLE_CLEAR, BN_CLICKED), 0);
  EXPECT_TRUE(Entries(channel).empty());
  EXPECT_EQ(0, SendMessageA(list, LB_GETHORIZONTALEXTENT, 0, 0));
  BubblePrintf(channel, "after");
  EXPECT_EQ(std::vector<std::string>{"after"}, Entries(channel));
  EXPECT_EQ(0, TopIndex(channel));
  EXPECT_EQ(MeasureListString(list, "after"), SendMessageA(list, LB_GETHORIZONTALEXTENT, 0, 0));
}

// Opens the mark dialog from the window's Mark button and answers it once it is shown, which
// the modal loop does only after the dialog's initialisation.
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

TEST_F(BubbleTest, MarkGoesToTheWindowOnly) {
  BubbleChannel* channel = Open(path.c_str(), TRUE);
  ASSERT_NE(nullptr, channel);
  ASSERT_NE(nullptr, channel->window);
  BubblePrintf(channel, "before");

  HWND mark = OpenMarkDialog(channel, MainDialog(channel));
  ASSERT_NE(nullptr, mark);
  char text[128] = {};
  GetDlgItemTextA(mark, IDC_BUBBLE_MARK_TEXT, text, sizeof text);
  EXPECT_STREQ("--------------------", text);
  SendMessageA(mark, WM_COMMAND, IDCANCEL, 0);
  EXPECT_EQ(std::vector<std::string>{"before"}, Entries(channel));

  const std::string longMark = "=\t" + std::string(98, '=');  // 100 characters, the edit's limit
  mark = OpenMarkDialog(channel, MainDialog(channel));
  ASSERT_NE(nullptr, mark);
  SetDlgItemTextA(mark, IDC_BUBBLE_MARK_TEXT, longMark.c_str());
  SendMessageA(mark, WM_COMMAND, IDOK, 0);
  BubblePrintf(channel, "after");  // returns once the window thread has left the mark dialog
  EXPECT_EQ((std::vector<std::string>{"before", "=      " + std::string(98, '='), "after"}), Entries(channel));
  EXPECT_EQ("before\r\nafter\r\n", FileBytes());
}

TEST_F(BubbleTest, SecondWindowOfTheProcessIsRefusedUntilTheFirstCloses) {
  BubbleChannel* first = Open(nullptr, TRUE);
  ASSERT_NE(nullptr, first);
  ASSERT_NE(nullptr, first->window);
  BubbleChannel* second = Open(path.c_str(), TRUE);
  ASSERT_NE(nullptr, second);
  EXPECT_EQ(nullptr, second->window);
  BubblePrintf(second, "to the file");
  EXPECT_EQ("to the file\r\n", FileBytes());
  EXPECT_TRUE(Entries(first).empty());

  BubbleClose(first);
  channels.erase(channels.begin());
  BubbleChannel* third = Open(nullptr, TRUE);
  ASSERT_NE(nullptr, third);
  EXPECT_NE(nullptr, third->window);
}

TEST_F(BubbleTest, ExitEndsTheWindowButNotTheFile) {
  BubbleChannel* channel = Open(path.c_str(), TRUE);
  ASSERT_NE(nullptr, channel);
  ASSERT_NE(nullptr, channel->window);
  PostMessageA(MainDialog(channel), WM_COMMAND, MAKEWPARAM(IDC_BUBBLE_EXIT, BN_CLICKED), 0);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(channel->windowThread, 20000));
  EXPECT_FALSE(IsWindow(channel->window));
  BubblePrintf(channel, "still traced");
  EXPECT_EQ("still traced\r\n", FileBytes());
}

TEST_F(BubbleTest, LinesFromSeveralThreadsAllArriveInEachThreadsOrder) {
  BubbleChannel* channel = Open(path.c_str(), TRUE);
  ASSERT_NE(nullptr, channel);
  ASSERT_NE(nullptr, channel->window);
  constexpr int kThreads = 4;
  constexpr int kLines = 150;
  std::vector<std::thread> senders;
  for (int t = 0; t < kThreads; ++t) {
    senders.emplace_back([channel, t] {
      for (int i = 0; i < kLines; ++i) BubblePrintf(channel, "thread %d line %03d %s", t, i, "padding text");
    });
  }
  for (std::thread& sender : senders) sender.join();

  auto expectInOrder = [&](const std::vector<std::string>& lines, const char* where) {
    ASSERT_EQ(static_cast<size_t>(kThreads * kLines), lines.size()) << where;
    int next[kThreads] = {};
    for (const std::string& line : lines) {
      int t = -1;
      int i = -1;
      char padding[32] = {};
      ASSERT_EQ(3, sscanf(line.c_str(), "thread %d line %d %31[a-z ]", &t, &i, padding)) << where << ": " << line;
      ASSERT_TRUE(t >= 0 && t < kThreads) << where << ": " << line;
      EXPECT_EQ(next[t]++, i) << where << ": " << line;
      EXPECT_STREQ("padding text", padding) << where;
    }
  };
  expectInOrder(Entries(channel), "window");
  std::vector<std::string> records;
  std::string bytes = FileBytes();
  for (size_t start = 0, end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2) {
    records.push_back(bytes.substr(start, end - start));
  }
  expectInOrder(records, "file");
}

}  // namespace
