#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/module.h"
#include "base/scoped.h"
#include "dlgutil/bitmapbutton.h"
#include "dlgutil/help.h"
#include "dlgutil/messages.h"

namespace {

// Holds the Shift key down or up in this thread's keyboard state; the state is restored at the end.
class ShiftKey {
public:
  explicit ShiftKey(bool down) {
    GetKeyboardState(saved_);
    BYTE state[256];
    memcpy(state, saved_, sizeof state);
    state[VK_SHIFT] = state[VK_LSHIFT] = down ? 0x80 : 0;
    SetKeyboardState(state);
  }
  ~ShiftKey() { SetKeyboardState(saved_); }
  ShiftKey(const ShiftKey&) = delete;
  ShiftKey& operator=(const ShiftKey&) = delete;

private:
  BYTE saved_[256];
};

// A 32-bit drawing surface in a memory device context, for owner-draw requests.
class Surface {
public:
  Surface(int width, int height) : width_(width), height_(height), dc_(nullptr) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bits_ = static_cast<DWORD*>(bits);
    dc_ = CreateCompatibleDC(nullptr);
    previous_ = SelectObject(dc_, bitmap_);
    std::fill(bits_, bits_ + width * height, kUntouched);
  }
  ~Surface() {
    SelectObject(dc_, previous_);
    DeleteDC(dc_);
    DeleteObject(bitmap_);
  }
  Surface(const Surface&) = delete;
  Surface& operator=(const Surface&) = delete;

  HDC dc() const { return dc_; }
  std::vector<DWORD> Pixels() const {
    GdiFlush();
    return std::vector<DWORD>(bits_, bits_ + width_ * height_);
  }
  bool Untouched() const {
    for (DWORD pixel : Pixels()) {
      if (pixel != kUntouched) return false;
    }
    return true;
  }

  static constexpr DWORD kUntouched = 0x00FF00FF;

private:
  int width_;
  int height_;
  HDC dc_;
  HBITMAP bitmap_;
  HGDIOBJ previous_;
  DWORD* bits_;
};

// The pixels a bitmap resource shows on a surface of the given size.
std::vector<DWORD> Rendered(const char* name, int width, int height) {
  Surface surface(width, height);
  ScopedGdiObject<HBITMAP> bitmap(LoadBitmapA(ModuleInstance, name));
  EXPECT_TRUE(bitmap) << name;
  ScopedMemoryDC memory(surface.dc());
  ScopedSelect selected(memory.get(), bitmap.get());
  BitBlt(surface.dc(), 0, 0, width, height, memory.get(), 0, 0, SRCCOPY);
  return surface.Pixels();
}

// An in-memory dialog template: a popup of the given size in dialog units holding one owner-drawn
// button with the given text and rectangle.
class DialogTemplate {
public:
  DialogTemplate(short width, short height, const char* buttonText, RECT button) {
    Dword(WS_POPUP | WS_CAPTION | DS_MODALFRAME);
    Dword(0);
    words_.push_back(1);  // one control
    words_.insert(words_.end(), {0, 0, static_cast<WORD>(width), static_cast<WORD>(height)});
    words_.insert(words_.end(), {0, 0, 0});  // no menu, the dialog class, no title
    if (words_.size() % 2) words_.push_back(0);
    Dword(WS_CHILD | WS_VISIBLE | BS_OWNERDRAW);
    Dword(0);
    words_.insert(words_.end(), {static_cast<WORD>(button.left), static_cast<WORD>(button.top),
                                 static_cast<WORD>(button.right - button.left),
                                 static_cast<WORD>(button.bottom - button.top), kButtonId, 0xFFFF, 0x0080});
    for (const char* c = buttonText; *c; ++c) words_.push_back(static_cast<unsigned char>(*c));
    words_.insert(words_.end(), {0, 0});  // end of text, no creation data
  }

  // Creates the dialog, hidden; its procedure hands owner-draw requests to DrawBitmapButton.
  HWND Create() const {
    return CreateDialogIndirectParamA(ModuleInstance, reinterpret_cast<const DLGTEMPLATE*>(words_.data()), nullptr,
                                      Proc, 0);
  }

  static constexpr WORD kButtonId = 11;

private:
  void Dword(DWORD value) {
    words_.push_back(LOWORD(value));
    words_.push_back(HIWORD(value));
  }
  static INT_PTR CALLBACK Proc(HWND dialog, UINT msg, WPARAM, LPARAM lp) {
    if (msg != WM_DRAWITEM) return FALSE;
    DrawBitmapButton(ModuleInstance, dialog, reinterpret_cast<DRAWITEMSTRUCT*>(lp));
    return TRUE;
  }

  std::vector<WORD> words_;
};

SIZE ClientSize(HWND window) {
  RECT rect;
  GetClientRect(window, &rect);
  return SIZE{rect.right, rect.bottom};
}

void PumpMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

class BitmapButtonTest : public ::testing::Test {
protected:
  void TearDown() override {
    if (dialog) DestroyWindow(dialog);
  }

  HWND Open(const char* text, short width = 120, short height = 60, RECT button = {10, 10, 50, 26}) {
    dialog = DialogTemplate(width, height, text, button).Create();
    EXPECT_NE(nullptr, dialog);
    return GetDlgItem(dialog, DialogTemplate::kButtonId);
  }

  // Hands the button's owner-draw request for `state` to DrawBitmapButton, drawing on `surface`.
  bool Draw(HWND button, UINT state, const Surface& surface) {
    DRAWITEMSTRUCT item = {};
    item.CtlType = ODT_BUTTON;
    item.CtlID = DialogTemplate::kButtonId;
    item.itemAction = ODA_DRAWENTIRE;
    item.itemState = state;
    item.hwndItem = button;
    item.hDC = surface.dc();
    GetClientRect(button, &item.rcItem);
    return DrawBitmapButton(ModuleInstance, dialog, &item);
  }

  // Which of the named bitmaps the button shows in that state: the name, or "" for none of them.
  std::string Shown(HWND button, UINT state, const std::vector<const char*>& names, SIZE size) {
    SetWindowPos(button, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER);
    Surface surface(size.cx, size.cy);
    if (!Draw(button, state, surface)) return "";
    std::vector<DWORD> drawn = surface.Pixels();
    for (const char* name : names) {
      if (Rendered(name, size.cx, size.cy) == drawn) return name;
    }
    return "";
  }

  HWND dialog = nullptr;
};

TEST_F(BitmapButtonTest, StateBitmapsOfALowercaseTextNeedTheShiftKey) {
  HWND button = Open("vtlbtn vtlbtnf vtlbtns");
  const std::vector<const char*> names = {"VTLBTN", "VTLBTNF", "VTLBTNS"};
  const SIZE size = {65, 26};
  {
    ShiftKey shift(false);
    for (UINT state : {0u, UINT(ODS_FOCUS), UINT(ODS_SELECTED), UINT(ODS_SELECTED | ODS_FOCUS)}) {
      EXPECT_EQ("VTLBTN", Shown(button, state, names, size)) << "state " << state;
    }
  }
  ShiftKey shift(true);
  EXPECT_EQ("VTLBTN", Shown(button, 0, names, size));
  EXPECT_EQ("VTLBTNF", Shown(button, ODS_FOCUS, names, size));
  EXPECT_EQ("VTLBTNS", Shown(button, ODS_SELECTED, names, size));
  EXPECT_EQ("VTLBTNS", Shown(button, ODS_SELECTED | ODS_FOCUS, names, size));
}

TEST_F(BitmapButtonTest, StateBitmapsOfAnUppercaseTextShowWithOrWithoutShift) {
  HWND button = Open("ACCSUP ACCSUPF ACCSUPS");
  const std::vector<const char*> names = {"ACCSUP", "ACCSUPF", "ACCSUPS"};
  const SIZE size = {326, 36};
  for (bool down : {false, true}) {
    ShiftKey shift(down);
    EXPECT_EQ("ACCSUP", Shown(button, 0, names, size)) << "shift " << down;
    EXPECT_EQ("ACCSUPF", Shown(button, ODS_FOCUS, names, size)) << "shift " << down;
    EXPECT_EQ("ACCSUPS", Shown(button, ODS_SELECTED, names, size)) << "shift " << down;
    EXPECT_EQ("ACCSUPS", Shown(button, ODS_SELECTED | ODS_FOCUS, names, size)) << "shift " << down;
  }
}

TEST(PickButtonBitmap, TextsWithFewerNamesFallBackToTheirLastName) {
  char name[16];
  ASSERT_TRUE(PickButtonBitmap("ONE", ODS_SELECTED, false, name, sizeof name));
  EXPECT_STREQ("ONE", name);
  ASSERT_TRUE(PickButtonBitmap("ONE TWO", ODS_SELECTED, false, name, sizeof name));
  EXPECT_STREQ("TWO", name);
  ASSERT_TRUE(PickButtonBitmap("ONE TWO", ODS_FOCUS, false, name, sizeof name));
  EXPECT_STREQ("TWO", name);
  ASSERT_TRUE(PickButtonBitmap("LONGERNAME B C", 0, false, name, 5));
  EXPECT_STREQ("LONG", name);
  EXPECT_FALSE(PickButtonBitmap("", 0, true, name, sizeof name));
}

TEST_F(BitmapButtonTest, ButtonWhoseBitmapDoesNotExistIsNotDrawnAndKeepsItsSize) {
  HWND button = Open("nosuch nosuch nosuch");
  SIZE before = ClientSize(button);
  Surface surface(before.cx, before.cy);
  EXPECT_FALSE(Draw(button, ODS_FOCUS, surface));
  EXPECT_TRUE(surface.Untouched());
  SIZE after = ClientSize(button);
  EXPECT_EQ(before.cx, after.cx);
  EXPECT_EQ(before.cy, after.cy);

  // Requests for anything but a button are not this function's either.
  SetWindowTextA(button, "ACCSUP ACCSUPF ACCSUPS");
  DRAWITEMSTRUCT item = {};
  item.CtlType = ODT_STATIC;
  item.hwndItem = button;
  item.hDC = surface.dc();
  item.rcItem = RECT{0, 0, before.cx, before.cy};
  EXPECT_FALSE(DrawBitmapButton(ModuleInstance, dialog, &item));
  EXPECT_TRUE(surface.Untouched());
}

TEST_F(BitmapButtonTest, PictureButtonCoveringItsDialogFitsTheDialogToTheBitmap) {
  HWND button = Open("brag brag brag", 180, 240, RECT{0, 0, 180, 240});
  ASSERT_EQ(ClientSize(dialog).cx, ClientSize(button).cx);
  RECT window;
  GetWindowRect(dialog, &window);

  // The dialog's own painting hands the request to DrawBitmapButton.
  ShowWindow(dialog, SW_SHOWNA);
  PumpMessages();
  SIZE client = ClientSize(dialog);
  EXPECT_EQ(300, client.cx);
  EXPECT_EQ(400, client.cy);
  SIZE picture = ClientSize(button);
  EXPECT_EQ(300, picture.cx);
  EXPECT_EQ(400, picture.cy);
  RECT moved;
  GetWindowRect(dialog, &moved);
  EXPECT_EQ(window.left, moved.left);
  EXPECT_EQ(window.top, moved.top);

  // The first request covered only the smaller button; the grown button was drawn again whole.
  ScopedWindowDC dc(button);
  Surface surface(300, 400);
  BitBlt(surface.dc(), 0, 0, 300, 400, dc.get(), 0, 0, SRCCOPY);
  EXPECT_EQ(Rendered("BRAG", 300, 400), surface.Pixels());
}

TEST_F(BitmapButtonTest, ButtonThatGrowsToItsBitmapIsDrawnWhole) {
  ShiftKey shift(false);
  HWND button = Open("vtlbtn vtlbtnf vtlbtns", 120, 60, RECT{10, 10, 30, 18});
  SIZE before = ClientSize(dialog);
  ASSERT_LT(ClientSize(button).cx, 65);
  ShowWindow(dialog, SW_SHOWNA);
  PumpMessages();
  ASSERT_EQ(65, ClientSize(button).cx);
  ASSERT_EQ(26, ClientSize(button).cy);
  EXPECT_EQ(before.cx, ClientSize(dialog).cx);  // the button does not fill the dialog

  ScopedWindowDC dc(button);
  Surface surface(65, 26);
  BitBlt(surface.dc(), 0, 0, 65, 26, dc.get(), 0, 0, SRCCOPY);
  EXPECT_EQ(Rendered("VTLBTN", 65, 26), surface.Pixels());
}

TEST(CenteredPosition, PlacesTheWindowInTheMiddleRoundingTowardZero) {
  struct Case {
    SIZE desktop;
    SIZE window;
    POINT expected;
  };
  const Case cases[] = {
      {{640, 480}, {300, 200}, {170, 140}},
      {{640, 480}, {301, 201}, {169, 139}},
      {{640, 480}, {700, 200}, {-30, 140}},
      {{640, 480}, {701, 483}, {-30, -1}},  // -61 / 2 and -3 / 2 round toward zero
      {{640, 480}, {640, 480}, {0, 0}},
  };
  for (const Case& c : cases) {
    POINT origin = CenteredPosition(c.desktop, c.window);
    EXPECT_EQ(c.expected.x, origin.x) << c.window.cx << " x " << c.window.cy;
    EXPECT_EQ(c.expected.y, origin.y) << c.window.cx << " x " << c.window.cy;
  }
}

TEST(CenterOnDesktop, MovesTheWindowWithoutResizingIt) {
  HWND window = CreateWindowExA(0, "STATIC", "centre", WS_POPUP, 3, 5, 300, 200, nullptr, nullptr, ModuleInstance,
                                nullptr);
  ASSERT_NE(nullptr, window);
  CenterOnDesktop(window);
  RECT desktop;
  RECT placed;
  GetClientRect(GetDesktopWindow(), &desktop);
  GetWindowRect(window, &placed);
  DestroyWindow(window);
  EXPECT_EQ(300, placed.right - placed.left);
  EXPECT_EQ(200, placed.bottom - placed.top);
  EXPECT_LE(abs(placed.left - (desktop.right - placed.right)), 1);
  EXPECT_LE(abs(placed.top - (desktop.bottom - placed.bottom)), 1);
}

// Help --------------------------------------------------------------------------------------

struct ShownBox {
  HWND owner;
  std::string text;
  std::string caption;
  UINT style;
};
std::vector<ShownBox> shownBoxes;

int RecordBox(HWND owner, const char* text, const char* caption, UINT style) {
  shownBoxes.push_back({owner, text, caption, style});
  return IDOK;
}

std::string ControlText(HWND window, int id) {
  char text[4096];
  GetDlgItemTextA(window, id, text, sizeof text);
  return text;
}

class HelpTest : public ::testing::Test {
protected:
  void SetUp() override {
    shownBoxes.clear();
    SetMessageBoxTarget(RecordBox);
    char directory[MAX_PATH];
    GetTempPathA(sizeof directory, directory);
    path = std::string(directory) + "pressmark-help-" + std::to_string(GetCurrentProcessId()) + ".hlp";
  }
  void TearDown() override {
    CloseHelp();
    SetHelpFile(nullptr);
    SetMessageBoxTarget(nullptr);
    DeleteFileA(path.c_str());
  }

  void UseHelpFile(const std::string& text) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    SetHelpFile(path.c_str());
  }

  static HWND Viewer() { return FindWindowA(kHelpWindowClass, nullptr); }

  std::string path;
};

constexpr char kTwoTopics[] =
    "@101 Adding a port\r\nType the printer's name.\r\n"
    "@102 Configuring a port\r\nThe port keeps its name.\r\n";

TEST_F(HelpTest, ViewerOpensAtTheTopicAndCloseHelpClosesIt) {
  UseHelpFile(kTwoTopics);
  ASSERT_TRUE(ShowHelpTopic(102));
  HWND viewer = Viewer();
  ASSERT_NE(nullptr, viewer);
  EXPECT_TRUE(IsWindowVisible(viewer));
  EXPECT_EQ("Configuring a port", ControlText(viewer, IDC_HELP_TITLE));
  EXPECT_EQ("The port keeps its name.", ControlText(viewer, IDC_HELP_BODY));
  EXPECT_EQ(2, SendDlgItemMessageA(viewer, IDC_HELP_CONTENTS, LB_GETCOUNT, 0, 0));

  // A second request reuses the one viewer of the process.
  ASSERT_TRUE(ShowHelpTopic(101));
  EXPECT_EQ(viewer, Viewer());
  EXPECT_EQ("Type the printer's name.", ControlText(viewer, IDC_HELP_BODY));
  EXPECT_TRUE(shownBoxes.empty());

  CloseHelp();
  EXPECT_FALSE(IsWindow(viewer));
  CloseHelp();  // nothing open: nothing happens
}

TEST_F(HelpTest, MissingHelpFileGivesOneMessageAndFalse) {
  SetHelpFile((path + ".missing").c_str());
  HWND focus = CreateWindowExA(0, "EDIT", "", WS_OVERLAPPED | WS_VISIBLE, 0, 0, 100, 40, nullptr, nullptr,
                               ModuleInstance, nullptr);
  SetForegroundWindow(focus);
  SetFocus(focus);
  HWND focused = GetFocus();

  EXPECT_FALSE(ShowHelpTopic(HELP_ADD_PORT));
  DestroyWindow(focus);
  ASSERT_EQ(1u, shownBoxes.size());
  EXPECT_EQ("Unable to activate help", shownBoxes[0].text);
  EXPECT_EQ("", shownBoxes[0].caption);
  EXPECT_EQ(UINT(MB_OK | MB_ICONSTOP | MB_SYSTEMMODAL), shownBoxes[0].style);
  EXPECT_EQ(focused, shownBoxes[0].owner);
  EXPECT_EQ(nullptr, Viewer());

  // The About box asks without a message of ours.
  EXPECT_FALSE(OpenHelpTopic(HELP_ACCESSORIES));
  EXPECT_EQ(1u, shownBoxes.size());
}

TEST_F(HelpTest, UnknownTopicIsRefusedAndTheViewerKeepsItsTopic) {
  UseHelpFile(kTwoTopics);
  ASSERT_TRUE(ShowHelpTopic(101));
  EXPECT_FALSE(ShowHelpTopic(103));
  ASSERT_EQ(1u, shownBoxes.size());
  EXPECT_EQ("Unable to activate help", shownBoxes[0].text);
  EXPECT_EQ("Adding a port", ControlText(Viewer(), IDC_HELP_TITLE));
}

TEST(HelpParse, LaysOutParagraphsHeadingsAndListsAndSkipsWhatIsNotATopic) {
  std::vector<HelpTopic> topics = HelpParse(
      "; a comment\n"
      "Text before the first topic.\n"
      "@7 First  \r\n"
      "One paragraph\r\n"
      "  on two lines.\r\n"
      "; a comment inside\r\n"
      "\r\n"
      "== A heading\r\n"
      "Under it.\r\n"
      "- item one\r\n"
      "-   item two\r\n"
      "After the list.\r\n"
      "@x not a topic\n"
      "dropped\n"
      "@9\n"
      "@8 Last");
  ASSERT_EQ(3u, topics.size());
  EXPECT_EQ(7u, topics[0].context);
  EXPECT_EQ("First", topics[0].title);
  EXPECT_EQ(
      "One paragraph on two lines.\r\n\r\n"
      "A heading\r\nUnder it.\r\n\r\n"
      "\x95  item one\r\n\x95  item two\r\n\r\n"
      "After the list.",
      topics[0].body);
  EXPECT_EQ(9u, topics[1].context);
  EXPECT_EQ("", topics[1].title);
  EXPECT_EQ(8u, topics[2].context);
  EXPECT_EQ("Last", topics[2].title);
  EXPECT_EQ("", topics[2].body);
}

TEST_F(HelpTest, ShippedHelpFileHoldsEveryTopicTheProgramAsksFor) {
  SetHelpFile(nullptr);  // the file beside the program
  for (DWORD context : {HELP_ADD_PORT, HELP_CONFIGURE_PORT, HELP_PRINTER_OPTIONS, HELP_LOGGING_OPTIONS,
                        HELP_ACCESSORIES}) {
    ASSERT_TRUE(OpenHelpTopic(context)) << context;
    EXPECT_NE("", ControlText(Viewer(), IDC_HELP_TITLE)) << context;
    EXPECT_GT(ControlText(Viewer(), IDC_HELP_BODY).size(), 200u) << context;
  }
  EXPECT_TRUE(shownBoxes.empty());
}

}  // namespace
