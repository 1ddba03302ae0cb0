#include "dlgutil/bitmapbutton.h"

#include <cstring>

#include "base/scoped.h"

namespace {

constexpr int kMaxButtonText = 128;  // 127 characters and the terminator

// The n-th space-separated name of the text (0-based): its start and length; false when the text
// has fewer names.
bool NthName(const char* text, int n, const char** start, size_t* length) {
  const char* name = text;
  for (int k = 0; k < n; ++k) {
    name = strchr(name, ' ');
    if (!name) return false;
    ++name;
  }
  const char* end = strchr(name, ' ');
  *start = name;
  *length = end ? static_cast<size_t>(end - name) : strlen(name);
  return true;
}

int Width(const RECT& rect) { return rect.right - rect.left; }
int Height(const RECT& rect) { return rect.bottom - rect.top; }

}  // namespace

bool PickButtonBitmap(const char* text, UINT itemState, bool shiftDown, char* name, int size) {
  if (!text || !*text || !name || size <= 0) return false;
  int wanted = 0;
  if (itemState & ODS_SELECTED) {
    wanted = 2;
  } else if (itemState & ODS_FOCUS) {
    wanted = 1;
  }
  bool upperCase = text[0] >= 'A' && text[0] <= 'Z';
  if (!upperCase && !shiftDown) wanted = 0;

  const char* start = text;
  size_t length = 0;
  while (!NthName(text, wanted, &start, &length)) --wanted;  // name 0 always exists
  size_t copied = length < static_cast<size_t>(size - 1) ? length : static_cast<size_t>(size - 1);
  memcpy(name, start, copied);
  name[copied] = '\0';
  return true;
}

bool DrawBitmapButton(HINSTANCE instance, HWND dialog, const DRAWITEMSTRUCT* item) {
  if (!item || item->CtlType != ODT_BUTTON) return false;
  char text[kMaxButtonText];
  if (GetWindowTextA(item->hwndItem, text, sizeof text) <= 0) return false;
  char name[kMaxButtonText];
  bool shiftDown = GetKeyState(VK_SHIFT) < 0;
  if (!PickButtonBitmap(text, item->itemState, shiftDown, name, sizeof name)) return false;

  ScopedGdiObject<HBITMAP> bitmap(LoadBitmapA(instance, name));  // names compare without regard to case
  if (!bitmap) return false;
  BITMAP info = {};
  if (!GetObjectA(bitmap.get(), sizeof info, &info)) return false;

  RECT buttonClient;
  RECT dialogClient;
  if (!GetClientRect(item->hwndItem, &buttonClient) || !GetClientRect(dialog, &dialogClient)) return false;
  bool fillsDialog = buttonClient.right == dialogClient.right && buttonClient.bottom == dialogClient.bottom;
  bool resized = Width(buttonClient) != info.bmWidth || Height(buttonClient) != info.bmHeight;

  if (!SetWindowPos(item->hwndItem, nullptr, 0, 0, info.bmWidth, info.bmHeight,
                    SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW | SWP_SHOWWINDOW)) {
    return false;
  }
  if (fillsDialog) {
    RECT window;
    if (!GetWindowRect(dialog, &window)) return false;
    int frameWidth = Width(window) - Width(dialogClient);
    int frameHeight = Height(window) - Height(dialogClient);
    if (!SetWindowPos(dialog, nullptr, 0, 0, info.bmWidth + frameWidth, info.bmHeight + frameHeight,
                      SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW)) {
      return false;
    }
  }
  // This request only covers the button as it was; a button that grew is drawn again whole.
  if (resized) InvalidateRect(item->hwndItem, nullptr, FALSE);

  ScopedMemoryDC memory(item->hDC);
  if (!memory) return false;
  ScopedSelect selected(memory.get(), bitmap.get());
  return BitBlt(item->hDC, item->rcItem.left, item->rcItem.top, Width(item->rcItem), Height(item->rcItem),
                memory.get(), 0, 0, SRCCOPY) != FALSE;
}

POINT CenteredPosition(SIZE desktop, SIZE window) {
  // Signed division rounds toward zero, also for a window larger than the desktop.
  return POINT{(desktop.cx - window.cx) / 2, (desktop.cy - window.cy) / 2};
}

void CenterOnDesktop(HWND window) {
  RECT desktop;
  RECT placed;
  if (!GetClientRect(GetDesktopWindow(), &desktop) || !GetWindowRect(window, &placed)) return;
  POINT origin = CenteredPosition(SIZE{Width(desktop), Height(desktop)}, SIZE{Width(placed), Height(placed)});
  SetWindowPos(window, nullptr, origin.x, origin.y, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS);
}
