#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <tuple>

#include "base/module.h"
#include "base/scoped.h"
#include "dialogdriver.h"
#include "dlgutil/bitmapbutton.h"
#include "dlgutil/help.h"
#include "resource.h"

namespace {

// Whether `dc` shows the picture `name` from its top-left corner, pixel by pixel.
bool ShowsPicture(HDC dc, const char* name) {
  ScopedGdiObject<HBITMAP> bitmap(LoadBitmapA(ModuleInstance, name));
  BITMAP size = {};
  GetObjectA(bitmap.get(), sizeof size, &size);
  ScopedMemoryDC picture(dc);
  ScopedSelect selected(picture.get(), bitmap.get());
  for (int y = 0; y < size.bmHeight; ++y)
    for (int x = 0; x < size.bmWidth; ++x)
      if (GetPixel(dc, x, y) != GetPixel(picture.get(), x, y)) return false;
  return size.bmWidth > 0;
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
  const char *lower = "vtlbtn vtlbtnf vtlbtns", *upper = "ACCSUP ACCSUPF ACCSUPS";
  const UINT focus = ODS_FOCUS, pressed = ODS_SELECTED | ODS_FOCUS;
  // The last name stands in for missing ones; a name is cut to the buffer.
  for (auto [text, state, shift, size, expected] :
       {std::tuple{lower, focus, true, 16, "vtlbtnf"}, {upper, pressed, false, 16, "ACCSUPS"},
        {"ONE TWO", pressed, false, 16, "TWO"}, {"LONGERNAME B C", 0u, false, 5, "LONG"}}) {
    char name[16] = {};
    ASSERT_TRUE(PickButtonBitmap(text, state, shift, name, size)) << text;
    EXPECT_STREQ(expected, name) << text << " state " << state << " shift " << shift;
  }
}

TEST(DrawBitmapButton, DrawsThePictureOfTheStateAndGrowsTheButtonAndADialogItFillsToIt) {
  ModelessDialog options(IDD_PRINTER_OPTIONS, DrawingProc, nullptr);
  HWND logo = GetDlgItem(options.get(), IDC_LOGO);
  ScopedWindowDC screen(nullptr);
  ScopedMemoryDC surface(screen.get());
  ScopedGdiObject<HBITMAP> canvas(CreateCompatibleBitmap(screen.get(), 65, 26));
  ScopedSelect selected(surface.get(), canvas.get());
  auto draw = [&](UINT type, UINT state) {
    PatBlt(surface.get(), 0, 0, 65, 26, BLACKNESS);
    DRAWITEMSTRUCT item = {type, IDC_LOGO, 0, ODA_DRAWENTIRE, state, logo, surface.get(), {0, 0, 65, 26}, 0};
    return DrawBitmapButton(ModuleInstance, options.get(), &item);
  };
  EXPECT_TRUE(draw(ODT_BUTTON, ODS_SELECTED) && ShowsPicture(surface.get(), "VTLBTN"));
  // The first paint covers only the smaller button; the grown one is drawn again whole.
  SetWindowPos(logo, nullptr, 0, 0, 30, 10, SWP_NOMOVE | SWP_NOZORDER);
  SIZE dialog = ClientSize(options.get());
  ShowAndPaint(options.get());
  EXPECT_TRUE(ShowsPicture(ScopedWindowDC(logo).get(), "VTLBTN"));
  EXPECT_EQ(dialog.cx, ClientSize(options.get()).cx);  // a button that does not fill its dialog
  ShiftKeyDown shift;
  EXPECT_TRUE(draw(ODT_BUTTON, ODS_SELECTED) && ShowsPicture(surface.get(), "VTLBTNS"));
  SetWindowTextA(logo, "nosuch nosuch nosuch");
  EXPECT_FALSE(draw(ODT_BUTTON, ODS_FOCUS));

  // The brag picture fills its dialog, which takes the picture's size where it stands.
  ModelessDialog brag(IDD_BRAG, DrawingProc, nullptr);
  ShowAndPaint(brag.get());
  EXPECT_TRUE(ClientSize(brag.get()).cx == 300 && ClientSize(brag.get()).cy == 400);
  EXPECT_TRUE(ShowsPicture(ScopedWindowDC(GetDlgItem(brag.get(), IDC_BRAG_PICTURE)).get(), "BRAG"));
}

TEST(Centring, PlacesTheWindowInTheMiddleRoundingTowardZero) {
  for (auto [window, x, y] : {std::tuple{SIZE{301, 201}, 169, 139}, {SIZE{701, 483}, -30, -1}}) {
    POINT origin = CenteredPosition({640, 480}, window);
    EXPECT_TRUE(origin.x == x && origin.y == y) << window.cx << " x " << window.cy;
  }
}

// The shipped help file holds every topic the program asks for, all shown in one viewer.
TEST(Help, OneViewerShowsEveryTopicTheProgramAsksForAndTellsTheFocusWhenOneIsMissing) {
  MessageBoxRecorder boxes(IDOK, false);
  HWND viewer = nullptr;
  for (DWORD context :
       {HELP_ADD_PORT, HELP_CONFIGURE_PORT, HELP_PRINTER_OPTIONS, HELP_LOGGING_OPTIONS, HELP_ACCESSORIES}) {
    ASSERT_TRUE(ShowHelpTopic(context)) << context;
    if (!viewer) viewer = FindWindowA(kHelpWindowClass, nullptr);
    EXPECT_EQ(viewer, FindWindowA(kHelpWindowClass, nullptr));
    EXPECT_GT(ControlText(viewer, IDC_HELP_BODY).size(), 200u) << context;
  }
  ASSERT_TRUE(viewer && IsWindowVisible(viewer));
  EXPECT_FALSE(ShowHelpTopic(999));
  ASSERT_EQ(1u, boxes.boxes().size());
  EXPECT_EQ("Unable to activate help", boxes.boxes()[0].text);
  EXPECT_EQ(GetDlgItem(viewer, IDC_HELP_BODY), boxes.boxes()[0].owner);  // the focus
  CloseHelp();
  SetHelpFile("C:\\no such directory\\vtlpmmw4.hlp");
  EXPECT_FALSE(OpenHelpTopic(HELP_ADD_PORT));  // the About box shows a message of its own
  SetHelpFile(nullptr);
  EXPECT_TRUE(boxes.boxes().size() == 1 && !FindWindowA(kHelpWindowClass, nullptr));
}

}  // namespace
