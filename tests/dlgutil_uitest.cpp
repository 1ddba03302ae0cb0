#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/module.h"
#include "base/scoped.h"
#include "dialogdriver.h"
#include "dlgutil/bitmapbutton.h"
#include "dlgutil/help.h"
#include "resource.h"

namespace {

// A 32-bit picture in memory to draw on; every pixel is kUntouched until something draws.
class Surface {
public:
  static constexpr DWORD kUntouched = 0x00FF00FF;

  Surface(int width, int height)
      : bitmap_(MakeBitmap(width, height, &bits_)), select_(dc_.get(), bitmap_.get()), count_(width * height) {
    std::fill(bits_, bits_ + count_, kUntouched);
  }
  HDC dc() const { return dc_.get(); }
  std::vector<DWORD> Pixels() const {
    GdiFlush();
    return {bits_, bits_ + count_};
  }
  // What `source` shows in this surface's size from its top-left corner.
  static std::vector<DWORD> Copy(HDC source, SIZE size) {
    Surface surface(size.cx, size.cy);
    BitBlt(surface.dc(), 0, 0, size.cx, size.cy, source, 0, 0, SRCCOPY);
    return surface.Pixels();
  }

private:
  static HBITMAP MakeBitmap(int width, int height, DWORD** bits) {
    BITMAPINFO info = {{sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
    return CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(bits), nullptr, 0);
  }

  DWORD* bits_ = nullptr;
  ScopedMemoryDC dc_{nullptr};
  ScopedGdiObject<HBITMAP> bitmap_;
  ScopedSelect select_;
  int count_;
};

std::vector<DWORD> Rendered(const char* name, SIZE size) {
  ScopedGdiObject<HBITMAP> bitmap(LoadBitmapA(ModuleInstance, name));
  ScopedMemoryDC memory(nullptr);
  ScopedSelect selected(memory.get(), bitmap.get());
  return Surface::Copy(memory.get(), size);
}

std::vector<DWORD> Shown(HWND window) {
  ScopedWindowDC dc(window);
  return Surface::Copy(dc.get(), ClientSize(window));
}

// A dialog of the program's whose only behaviour is to hand its owner-draw requests on.
INT_PTR CALLBACK DrawingProc(HWND dialog, UINT message, WPARAM, LPARAM lp) {
  if (message != WM_DRAWITEM) return FALSE;
  DrawBitmapButton(ModuleInstance, dialog, reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
  return TRUE;
}

// Shows the dialog without activating it and lets it paint.
void ShowAndPaint(HWND dialog) {
  ShowWindow(dialog, SW_SHOWNA);
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

TEST(PickButtonBitmap, ChoosesThePictureOfTheStateButForLowercaseTextsOnlyWithShift) {
  struct Case {
    const char* text;
    UINT state;
    bool shift;
    const char* expected;
  } cases[] = {
      {"vtlbtn vtlbtnf vtlbtns", ODS_FOCUS, false, "vtlbtn"},
      {"vtlbtn vtlbtnf vtlbtns", 0, true, "vtlbtn"},
      {"vtlbtn vtlbtnf vtlbtns", ODS_FOCUS, true, "vtlbtnf"},
      {"vtlbtn vtlbtnf vtlbtns", ODS_SELECTED | ODS_FOCUS, true, "vtlbtns"},
      {"ACCSUP ACCSUPF ACCSUPS", ODS_FOCUS, false, "ACCSUPF"},
      {"ACCSUP ACCSUPF ACCSUPS", ODS_SELECTED | ODS_FOCUS, false, "ACCSUPS"},
      {"ONE", ODS_SELECTED, false, "ONE"},  // fewer names: the last one stands in
      {"ONE TWO", ODS_SELECTED, false, "TWO"},
  };
  for (const Case& c : cases) {
    char name[16] = {};
    ASSERT_TRUE(PickButtonBitmap(c.text, c.state, c.shift, name, sizeof name)) << c.text;
    EXPECT_STREQ(c.expected, name) << c.text << " state " << c.state << " shift " << c.shift;
  }
  char name[5];
  ASSERT_TRUE(PickButtonBitmap("LONGERNAME B C", 0, false, name, sizeof name));
  EXPECT_STREQ("LONG", name);
  EXPECT_FALSE(PickButtonBitmap("", 0, true, name, sizeof name));
}

TEST(DrawBitmapButton, DrawsThePictureOfTheStateAndLeavesOtherRequestsAlone) {
  ModelessDialog about(IDD_ABOUT, DrawingProc, nullptr);
  ModelessDialog options(IDD_PRINTER_OPTIONS, DrawingProc, nullptr);
  // What a request draws for the button, once the button is as large as `size`.
  auto draw = [](HWND dialog, int id, UINT state, SIZE size, UINT type = ODT_BUTTON) {
    HWND button = GetDlgItem(dialog, id);
    SetWindowPos(button, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER);
    Surface surface(size.cx, size.cy);
    DRAWITEMSTRUCT item = {type, UINT(id), 0, ODA_DRAWENTIRE, state, button, surface.dc(), {0, 0, size.cx, size.cy}, 0};
    DrawBitmapButton(ModuleInstance, dialog, &item);
    return surface.Pixels();
  };
  const SIZE logo = {65, 26};
  const SIZE accessories = {326, 36};
  EXPECT_TRUE(Rendered("ACCSUPS", accessories) == draw(about.get(), IDC_ABOUT_ACCESSORIES, ODS_SELECTED, accessories));
  EXPECT_TRUE(Rendered("VTLBTN", logo) == draw(options.get(), IDC_LOGO, ODS_SELECTED, logo));
  {
    ShiftKeyDown shift;
    EXPECT_TRUE(Rendered("VTLBTNS", logo) == draw(options.get(), IDC_LOGO, ODS_SELECTED, logo));
  }

  // A request for another kind of control, or for a picture that does not exist, draws nothing.
  const SIZE small = {20, 10};
  const std::vector<DWORD> nothing(small.cx * small.cy, Surface::kUntouched);
  EXPECT_TRUE(nothing == draw(about.get(), IDC_ABOUT_ACCESSORIES, 0, small, ODT_STATIC));
  HWND button = GetDlgItem(about.get(), IDC_ABOUT_ACCESSORIES);
  SetWindowTextA(button, "nosuch nosuch nosuch");
  EXPECT_TRUE(nothing == draw(about.get(), IDC_ABOUT_ACCESSORIES, ODS_FOCUS, small));
  EXPECT_EQ(small.cx, ClientSize(button).cx);
  EXPECT_EQ(small.cy, ClientSize(button).cy);
}

TEST(DrawBitmapButton, PictureFitsTheDialogItCoversInPlaceAndAGrownButtonIsDrawnWhole) {
  ModelessDialog brag(IDD_BRAG, DrawingProc, nullptr);
  HWND picture = GetDlgItem(brag.get(), IDC_BRAG_PICTURE);
  RECT before;
  GetWindowRect(brag.get(), &before);
  ShowAndPaint(brag.get());
  EXPECT_EQ(300, ClientSize(brag.get()).cx);
  EXPECT_EQ(400, ClientSize(brag.get()).cy);
  RECT after;
  GetWindowRect(brag.get(), &after);
  EXPECT_EQ(before.left, after.left);
  EXPECT_EQ(before.top, after.top);
  EXPECT_TRUE(Rendered("BRAG", {300, 400}) == Shown(picture));

  ModelessDialog options(IDD_PRINTER_OPTIONS, DrawingProc, nullptr);
  HWND logo = GetDlgItem(options.get(), IDC_LOGO);
  SetWindowPos(logo, nullptr, 0, 0, 30, 10, SWP_NOMOVE | SWP_NOZORDER);
  SIZE dialog = ClientSize(options.get());
  ShowAndPaint(options.get());
  // The first request covered only the smaller button; the grown one is drawn again whole.
  EXPECT_TRUE(Rendered("VTLBTN", {65, 26}) == Shown(logo));
  EXPECT_EQ(dialog.cx, ClientSize(options.get()).cx);  // a button that does not fill its dialog
}

TEST(Centring, PlacesTheWindowInTheMiddleRoundingTowardZero) {
  struct Case {
    SIZE window;
    POINT expected;
  } cases[] = {{{300, 200}, {170, 140}}, {{301, 201}, {169, 139}}, {{700, 200}, {-30, 140}}, {{701, 483}, {-30, -1}}};
  for (const Case& c : cases) {
    POINT origin = CenteredPosition({640, 480}, c.window);
    EXPECT_EQ(c.expected.x, origin.x) << c.window.cx << " x " << c.window.cy;
    EXPECT_EQ(c.expected.y, origin.y) << c.window.cx << " x " << c.window.cy;
  }

  HWND window =
      CreateWindowExA(0, "STATIC", "centre", WS_POPUP, 3, 5, 300, 200, nullptr, nullptr, ModuleInstance, nullptr);
  CenterOnDesktop(window);
  RECT desktop;
  RECT placed;
  GetClientRect(GetDesktopWindow(), &desktop);
  GetWindowRect(window, &placed);
  DestroyWindow(window);
  POINT origin = CenteredPosition({desktop.right, desktop.bottom}, {300, 200});
  RECT expected = {origin.x, origin.y, origin.x + 300, origin.y + 200};
  EXPECT_TRUE(EqualRect(&expected, &placed))
      << placed.left << "," << placed.top << " " << placed.right << "," << placed.bottom;
}

class HelpTest : public ::testing::Test {
protected:
  void SetUp() override {
    char directory[MAX_PATH];
    GetTempPathA(sizeof directory, directory);
    path = std::string(directory) + "pressmark-help-" + std::to_string(GetCurrentProcessId()) + ".hlp";
  }
  void TearDown() override {
    CloseHelp();
    SetHelpFile(nullptr);
    DeleteFileA(path.c_str());
  }

  void UseHelpFile(const std::string& text) {
    ScopedHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
    SetHelpFile(path.c_str());
  }
  static HWND Viewer() { return FindWindowA(kHelpWindowClass, nullptr); }

  std::string path;
  MessageBoxRecorder boxes{IDOK, false};
};

// The viewer lays out paragraphs, headings and lists, and skips what is not a topic.
TEST_F(HelpTest, OneViewerShowsEachTopicAskedForAndKeepsItsTopicWhenOneIsMissing) {
  UseHelpFile(
      "; a comment\nText before the first topic.\n"
      "@101 Adding a port  \r\nOne paragraph\r\n  on two lines.\r\n; a comment inside\r\n\r\n"
      "== A heading\r\nUnder it.\r\n- item one\r\n-   item two\r\nAfter the list.\r\n"
      "@x not a topic\ndropped\n@102 Configuring a port\nThe port keeps its name.");
  ASSERT_TRUE(ShowHelpTopic(102));
  HWND viewer = Viewer();
  ASSERT_NE(nullptr, viewer);
  EXPECT_TRUE(IsWindowVisible(viewer));
  EXPECT_EQ("Configuring a port", ControlText(viewer, IDC_HELP_TITLE));
  EXPECT_EQ("The port keeps its name.", ControlText(viewer, IDC_HELP_BODY));
  EXPECT_EQ(2, SendDlgItemMessageA(viewer, IDC_HELP_CONTENTS, LB_GETCOUNT, 0, 0));

  ASSERT_TRUE(ShowHelpTopic(101));
  EXPECT_EQ(viewer, Viewer());
  EXPECT_EQ("Adding a port", ControlText(viewer, IDC_HELP_TITLE));
  EXPECT_EQ(
      "One paragraph on two lines.\r\n\r\nA heading\r\nUnder it.\r\n\r\n"
      "\x95  item one\r\n\x95  item two\r\n\r\nAfter the list.",
      ControlText(viewer, IDC_HELP_BODY));
  EXPECT_TRUE(boxes.boxes().empty());

  EXPECT_FALSE(ShowHelpTopic(103));
  ASSERT_EQ(1u, boxes.boxes().size());
  EXPECT_EQ("Unable to activate help", boxes.boxes()[0].text);
  EXPECT_EQ("Adding a port", ControlText(viewer, IDC_HELP_TITLE));

  CloseHelp();
  EXPECT_FALSE(IsWindow(viewer));
}

TEST_F(HelpTest, MissingHelpFileGivesOneMessageOwnedByTheFocusAndFalse) {
  SetHelpFile((path + ".missing").c_str());
  HWND focus = CreateWindowExA(0, "EDIT", "", WS_OVERLAPPED | WS_VISIBLE, 0, 0, 100, 40, nullptr, nullptr,
                               ModuleInstance, nullptr);
  SetForegroundWindow(focus);
  SetFocus(focus);
  ASSERT_EQ(focus, GetFocus());
  EXPECT_FALSE(ShowHelpTopic(HELP_ADD_PORT));
  EXPECT_FALSE(OpenHelpTopic(HELP_ACCESSORIES));  // the About box shows a message of its own
  DestroyWindow(focus);
  ASSERT_EQ(1u, boxes.boxes().size());
  EXPECT_EQ("Unable to activate help", boxes.boxes()[0].text);
  EXPECT_EQ(UINT(MB_OK | MB_ICONSTOP | MB_SYSTEMMODAL), boxes.boxes()[0].style);
  EXPECT_EQ(focus, boxes.boxes()[0].owner);
  EXPECT_EQ(nullptr, Viewer());
}

TEST_F(HelpTest, ShippedHelpFileHoldsEveryTopicTheProgramAsksFor) {
  for (DWORD context :
       {HELP_ADD_PORT, HELP_CONFIGURE_PORT, HELP_PRINTER_OPTIONS, HELP_LOGGING_OPTIONS, HELP_ACCESSORIES}) {
    ASSERT_TRUE(OpenHelpTopic(context)) << context;
    EXPECT_NE("", ControlText(Viewer(), IDC_HELP_TITLE)) << context;
    EXPECT_GT(ControlText(Viewer(), IDC_HELP_BODY).size(), 200u) << context;
  }
}

}  // namespace
