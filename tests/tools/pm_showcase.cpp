// Shows one scene of the program's windows for a screenshot, then waits until its standard input
// ends. Once the scene is drawn it prints "ready LEFT TOP RIGHT BOTTOM", the screen rectangle that
// holds the scene, so that the caller knows what to capture.
//
// Usage: pm_showcase help CONTEXT   the help viewer at a topic
//        pm_showcase pictures       the bitmaps and icons on one sheet
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/module.h"
#include "dlgutil/bitmapbutton.h"
#include "dlgutil/help.h"

namespace {

constexpr char kSheetClass[] = "PressmarkPictureSheet";
constexpr int kMargin = 16;
constexpr int kGap = 10;

void DrawPicture(HDC dc, const char* name, int x, int y) {
  HBITMAP bitmap = LoadBitmapA(ModuleInstance, name);
  if (!bitmap) return;
  BITMAP info = {};
  GetObjectA(bitmap, sizeof info, &info);
  HDC memory = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(dc, x, y, info.bmWidth, info.bmHeight, memory, 0, 0, SRCCOPY);
  SelectObject(memory, old);
  DeleteDC(memory);
  DeleteObject(bitmap);
}

void DrawIconAt(HDC dc, const char* name, int size, int x, int y) {
  HICON icon = static_cast<HICON>(LoadImageA(ModuleInstance, name, IMAGE_ICON, size, size, 0));
  if (!icon) return;
  DrawIconEx(dc, x, y, icon, size, size, 0, nullptr, DI_NORMAL);
  DestroyIcon(icon);
}

int Label(HDC dc, int x, int y, const char* text) {
  TextOutA(dc, x, y, text, static_cast<int>(strlen(text)));
  SIZE size = {};
  GetTextExtentPoint32A(dc, text, static_cast<int>(strlen(text)), &size);
  return size.cy;
}

// The sheet: logo button and accessories banner in their three states, the icons, the brag picture.
void PaintSheet(HDC dc) {
  SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  SetBkMode(dc, TRANSPARENT);
  int x = kMargin;
  int y = kMargin;
  y += Label(dc, x, y, "Logo button: normal, focus, pressed") + 4;
  const char* logo[] = {"VTLBTN", "VTLBTNF", "VTLBTNS"};
  for (int k = 0; k < 3; ++k) DrawPicture(dc, logo[k], x + k * (65 + kGap), y);
  y += 26 + 2 * kGap;
  y += Label(dc, x, y, "Accessories button: normal, focus, pressed") + 4;
  for (const char* name : {"ACCSUP", "ACCSUPF", "ACCSUPS"}) {
    DrawPicture(dc, name, x, y);
    y += 36 + kGap / 2;
  }
  y += 2 * kGap;
  y += Label(dc, x, y, "Icons: Pressmark and bubbleIcon, 32 and 16 pixels") + 4;
  DrawIconAt(dc, "PRESSMARK", 32, x, y);
  DrawIconAt(dc, "PRESSMARK", 16, x + 32 + kGap, y + 16);
  DrawIconAt(dc, "BUBBLEICON", 32, x + 64 + 3 * kGap, y);
  DrawIconAt(dc, "BUBBLEICON", 16, x + 96 + 4 * kGap, y + 16);
  DrawPicture(dc, "BRAG", kMargin + 326 + 2 * kMargin, kMargin);
}

LRESULT CALLBACK SheetProc(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_PAINT) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    PaintSheet(dc);
    EndPaint(window, &paint);
    return 0;
  }
  return DefWindowProcA(window, msg, wp, lp);
}

HWND ShowSheet() {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = SheetProc;
  windowClass.hInstance = ModuleInstance;
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  windowClass.lpszClassName = kSheetClass;
  windowClass.hIcon = LoadIconA(ModuleInstance, "PRESSMARK");
  RegisterClassA(&windowClass);
  RECT frame = {0, 0, kMargin + 326 + 2 * kMargin + 300 + kMargin, kMargin + 400 + kMargin};
  DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  AdjustWindowRect(&frame, style, FALSE);
  HWND window = CreateWindowExA(0, kSheetClass, "Pressmark pictures", style, 0, 0, frame.right - frame.left,
                                frame.bottom - frame.top, nullptr, nullptr, ModuleInstance, nullptr);
  if (!window) return nullptr;
  CenterOnDesktop(window);
  ShowWindow(window, SW_SHOWNORMAL);
  return window;
}

DWORD WINAPI WaitForInputEnd(LPVOID mainThread) {
  char buffer[64];
  while (fgets(buffer, sizeof buffer, stdin)) {
  }
  PostThreadMessageA(static_cast<DWORD>(reinterpret_cast<UINT_PTR>(mainThread)), WM_QUIT, 0, 0);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  HWND scene = nullptr;
  if (argc == 3 && strcmp(argv[1], "help") == 0) {
    if (OpenHelpTopic(static_cast<DWORD>(strtoul(argv[2], nullptr, 10)))) scene = FindWindowA(kHelpWindowClass, nullptr);
  } else if (argc == 2 && strcmp(argv[1], "pictures") == 0) {
    scene = ShowSheet();
  } else {
    fprintf(stderr, "usage: pm_showcase help CONTEXT | pictures\n");
    return 2;
  }
  if (!scene) {
    fprintf(stderr, "pm_showcase: the scene could not be shown\n");
    return 1;
  }
  RedrawWindow(scene, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);

  RECT rect;
  GetWindowRect(scene, &rect);
  printf("ready %ld %ld %ld %ld\n", rect.left, rect.top, rect.right, rect.bottom);
  fflush(stdout);

  // The thread id travels through the thread parameter.
  void* mainThread = reinterpret_cast<void*>(static_cast<UINT_PTR>(GetCurrentThreadId()));
  CloseHandle(CreateThread(nullptr, 0, WaitForInputEnd, mainThread, 0, nullptr));
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}
