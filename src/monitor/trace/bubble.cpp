#include "trace/bubble.h"

#include <shlwapi.h>

#include <cstdarg>
#include <cstring>

#include "BUBBDLG.h"
#include "base/memory.h"
#include "base/messages.h"
#include "base/text.h"
#include "trace/extent.h"

// Shows `format` with its one value in a message box without owner, caption "Poor Bubble".
static void BubbleReportError(const char* format, DWORD value);
// The top index that keeps the newest line (just added at `index`) in a view of `visibleLines`
// lines, or -1 to leave the view alone: the view follows only while the line before the newest
// was in view at `topIndex`, so a user who scrolled back keeps what they look at.
static int BubbleTopIndex(int index, int topIndex, int visibleLines);

namespace {

constexpr char kClassName[] = "Bubble";
constexpr char kMainDialog[] = "bubbleDlgMain";
constexpr char kMarkDialog[] = "bubbleDlgMark";
constexpr char kIconName[] = "bubbleIcon";
constexpr char kErrorCaption[] = "Poor Bubble";
constexpr char kDefaultMark[] = "--------------------";
constexpr int kMarkLimit = 100;
constexpr DWORD kFrameStyle = WS_OVERLAPPED | WS_BORDER | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

// Formats into `text` of `size` bytes; a text that does not fit is cut, and always terminated.
void FormatBounded(char* text, int size, const char* format, va_list arguments) {
  wvnsprintfA(text, size, format, arguments);
  text[size - 1] = '\0';
}

// The frame handle is set and cleared by the window thread and read by any thread that sends a
// line, so every access to it is atomic.
HWND ChannelWindow(BubbleChannel* channel) {
  auto* slot = reinterpret_cast<PVOID volatile*>(&channel->window);
  return static_cast<HWND>(InterlockedCompareExchangePointer(slot, nullptr, nullptr));
}

void SetChannelWindow(BubbleChannel* channel, HWND frame) {
  InterlockedExchangePointer(reinterpret_cast<PVOID volatile*>(&channel->window), frame);
}

BubbleChannel* ChannelOf(HWND frame) {
  return reinterpret_cast<BubbleChannel*>(GetWindowLongPtrA(frame, kBubbleChannelSlot));
}

HWND ListOf(HWND frame) {
  auto dialog = reinterpret_cast<HWND>(GetWindowLongPtrA(frame, kBubbleMainDialogSlot));
  return dialog ? GetDlgItem(dialog, IDC_BUBBLE_LIST) : nullptr;
}

int VisibleLines(HWND list) {
  RECT client;
  GetClientRect(list, &client);
  LRESULT itemHeight = SendMessageA(list, LB_GETITEMHEIGHT, 0, 0);
  if (itemHeight <= 0) return 1;
  int lines = static_cast<int>((client.bottom - client.top) / itemHeight);
  return lines > 0 ? lines : 1;
}

// Adds a text to the frame's list, line by line, keeping the newest line in view while the user
// looks at the end of the list. A line the list box refuses is lost.
void AddTextToList(HWND frame, const char* text) {
  BubbleChannel* channel = ChannelOf(frame);
  HWND list = ListOf(frame);
  if (!channel || !list) return;
  const char* cursor = text ? text : "";
  char line[kBubbleLineSize];
  while (BubbleNextLine(&cursor, line)) {
    LRESULT index = SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line));
    if (index < 0) continue;
    if (channel->extentTracking) TrackAddString(list, line);
    auto top = static_cast<int>(SendMessageA(list, LB_GETTOPINDEX, 0, 0));
    int newTop = BubbleTopIndex(static_cast<int>(index), top, VisibleLines(list));
    if (newTop >= 0) SendMessageA(list, LB_SETTOPINDEX, static_cast<WPARAM>(newTop), 0);
  }
}

// The mark dialog keeps the frame window whose list gets the mark.
INT_PTR CALLBACK MarkDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto frame = reinterpret_cast<HWND>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
  switch (message) {
  case WM_INITDIALOG: {
    SetWindowLongPtrA(dialog, GWLP_USERDATA, lParam);
    HWND edit = GetDlgItem(dialog, IDC_BUBBLE_MARK_TEXT);
    SendMessageA(edit, EM_LIMITTEXT, kMarkLimit, 0);
    SetWindowTextA(edit, kDefaultMark);
    SendMessageA(edit, EM_SETSEL, 0, -1);
    SetFocus(edit);
    return FALSE;  // the focus is set
  }
  case WM_COMMAND:
    switch (LOWORD(wParam)) {
    case IDOK: {
      char mark[kMarkLimit + 1] = {};
      GetDlgItemTextA(dialog, IDC_BUBBLE_MARK_TEXT, mark, sizeof mark);
      if (mark[0]) AddTextToList(frame, mark);  // the window's only, never the trace file's
      EndDialog(dialog, 1);
      return TRUE;
    }
    case IDCANCEL:
      EndDialog(dialog, 1);
      return TRUE;
    }
    return FALSE;
  }
  return FALSE;
}

void OnMainCommand(HWND dialog, int id) {
  HWND frame = GetParent(dialog);
  BubbleChannel* channel = ChannelOf(frame);
  if (!channel) return;
  switch (id) {
  case IDC_BUBBLE_MARK:
    if (DialogBoxParamA(channel->resourceInstance, kMarkDialog, dialog, MarkDialogProc,
                        reinterpret_cast<LPARAM>(frame)) == -1) {
      BubbleReportError("Couldn't create Mark dialog box: %d", GetLastError());
    }
    break;
  case IDC_BUBBLE_CLEAR: {
    HWND list = GetDlgItem(dialog, IDC_BUBBLE_LIST);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    if (channel->extentTracking) ResetExtentTracker(list);
    break;
  }
  case IDC_BUBBLE_EXIT:
    PostQuitMessage(0);  // the window thread ends and takes its windows along
    break;
  }
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
  case WM_INITDIALOG:
    return TRUE;
  case WM_COMMAND:
    OnMainCommand(dialog, LOWORD(wParam));
    return TRUE;
  }
  return FALSE;
}

LRESULT CALLBACK FrameProc(HWND frame, UINT message, WPARAM wParam, LPARAM lParam) {
  BubbleChannel* channel = ChannelOf(frame);
  switch (message) {
  case WM_DESTROY:
    if (channel && channel->extentTracking) {
      if (HWND list = ListOf(frame)) DetachExtentTracker(list);
    }
    PostQuitMessage(0);
    return 0;
  case kBubbleAddText:
    AddTextToList(frame, reinterpret_cast<const char*>(lParam));
    return 0;
  }
  return DefWindowProcA(frame, message, wParam, lParam);
}

// Fits the frame around the dialog, leaving the frame where the system put it, and puts the
// dialog at the frame's client origin.
void FitFrameToDialog(HWND frame, HWND dialog) {
  RECT dialogRect;
  GetWindowRect(dialog, &dialogRect);
  RECT frameRect = {0, 0, dialogRect.right - dialogRect.left, dialogRect.bottom - dialogRect.top};
  AdjustWindowRectEx(&frameRect, static_cast<DWORD>(GetWindowLongA(frame, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongA(frame, GWL_EXSTYLE)));
  SetWindowPos(frame, nullptr, 0, 0, frameRect.right - frameRect.left, frameRect.bottom - frameRect.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  SetWindowPos(dialog, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Makes the frame and its dialog. Answers the dialog, or null when a step failed; *registered
// tells whether this thread registered the class.
HWND MakeWindows(BubbleChannel* channel, bool* registered) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = FrameProc;
  windowClass.cbWndExtra = 2 * sizeof(LONG_PTR);
  windowClass.hInstance = channel->classInstance;
  windowClass.hIcon = LoadIconA(channel->resourceInstance, kIconName);
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
  windowClass.lpszClassName = kClassName;
  // A second channel of the process finds the class taken and goes without a window.
  if (!RegisterClassA(&windowClass)) return nullptr;
  *registered = true;

  HWND frame = CreateWindowExA(0, kClassName, channel->title, kFrameStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, channel->classInstance, nullptr);
  if (!frame) return nullptr;
  SetChannelWindow(channel, frame);

  HWND dialog = CreateDialogParamA(channel->resourceInstance, kMainDialog, frame, MainDialogProc, 0);
  if (!dialog) return nullptr;
  SetWindowLongPtrA(frame, kBubbleMainDialogSlot, reinterpret_cast<LONG_PTR>(dialog));
  SetWindowLongPtrA(frame, kBubbleChannelSlot, reinterpret_cast<LONG_PTR>(channel));

  // Tracking starts before the first line can arrive, so that every line counts in the extent.
  channel->extentAttachPending = 0;
  if (!AttachExtentTracker(GetDlgItem(dialog, IDC_BUBBLE_LIST))) channel->extentTracking = 0;

  FitFrameToDialog(frame, dialog);
  ShowWindow(dialog, SW_SHOW);
  ShowWindow(frame, SW_SHOWNORMAL);
  return dialog;
}

// Once the windows are gone the channel forgets the frame: lines still go to the trace file, and
// a window that might come to reuse the handle never gets them.
void ReleaseWindows(BubbleChannel* channel, bool registered) {
  HWND frame = ChannelWindow(channel);
  SetChannelWindow(channel, nullptr);
  if (frame && IsWindow(frame)) DestroyWindow(frame);
  if (registered) UnregisterClassA(kClassName, channel->classInstance);
}

DWORD WINAPI WindowThread(void* parameter) {
  auto* channel = static_cast<BubbleChannel*>(parameter);
  SetChannelWindow(channel, nullptr);
  bool registered = false;
  HWND dialog = MakeWindows(channel, &registered);
  SetEvent(channel->readyEvent);
  if (dialog) {
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
      if (!IsDialogMessageA(dialog, &message)) DispatchMessageA(&message);
    }
  }
  ReleaseWindows(channel, registered);
  return 0;
}

void StartWindowThread(BubbleChannel* channel) {
  channel->readyEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!channel->readyEvent) return;
  channel->windowThread = CreateThread(nullptr, 0, WindowThread, channel, 0, &channel->windowThreadId);
  if (channel->windowThread) WaitForSingleObject(channel->readyEvent, INFINITE);
}

}  // namespace

// With `shared`, the file is opened for appending only: each write of a whole record then lands
// at the file's end, whoever else writes to it.
static BubbleChannel* OpenChannel(HINSTANCE instance, const char* traceFileName, BOOL window, const char* title,
                                  bool shared) {
  if (!traceFileName && !window) return nullptr;
  BubbleChannel* channel = nullptr;
  if (MemAllocateZeroed(sizeof *channel, &channel) != EXC_S_SUCCESS) return nullptr;
  channel->classInstance = instance;
  channel->resourceInstance = instance;
  channel->extentTracking = 1;
  channel->extentAttachPending = 1;
  channel->traceFile = INVALID_HANDLE_VALUE;
  if (traceFileName) {
    channel->traceFile = CreateFileA(traceFileName, shared ? FILE_APPEND_DATA : GENERIC_WRITE,
                                     shared ? FILE_SHARE_READ | FILE_SHARE_WRITE : FILE_SHARE_READ, nullptr,
                                     shared ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  CopyBounded(channel->title, title ? title : "", sizeof channel->title);
  channel->title[sizeof channel->title - 1] = '\0';
  if (window) StartWindowThread(channel);
  return channel;
}

BubbleChannel* BubbleOpen(HINSTANCE instance, const char* traceFileName, BOOL window, const char* title) {
  return OpenChannel(instance, traceFileName, window, title, false);
}

BubbleChannel* BubbleOpenShared(HINSTANCE instance, const char* traceFileName, BOOL window, const char* title) {
  return OpenChannel(instance, traceFileName, window, title, true);
}

void BubblePrintf(BubbleChannel* channel, const char* format, ...) {
  if (!channel) return;
  bool hasFile = channel->traceFile != INVALID_HANDLE_VALUE;
  HWND frame = ChannelWindow(channel);  // read once: the window thread may clear it at any time
  if (!hasFile && !frame) return;

  char text[kBubbleTextSize];
  va_list arguments;
  va_start(arguments, format);
  FormatBounded(text, sizeof text, format, arguments);
  va_end(arguments);

  if (hasFile) {
    // The record is the text and CR LF, written at once so that records of several threads
    // never mix.
    char record[kBubbleTextSize + 2];
    size_t length = strlen(text);
    memcpy(record, text, length);
    memcpy(record + length, "\r\n", 2);
    DWORD written = 0;
    WriteFile(channel->traceFile, record, static_cast<DWORD>(length + 2), &written, nullptr);
  }
  if (frame) SendMessageA(frame, kBubbleAddText, 0, reinterpret_cast<LPARAM>(text));
}

void BubbleReportError(const char* format, DWORD value) {
  char text[kBubbleTextSize];
  wnsprintfA(text, sizeof text, format, value);
  text[sizeof text - 1] = '\0';
  ShowMessageBox(nullptr, text, kErrorCaption, MB_OK);
}

void BubbleClose(BubbleChannel* channel) {
  if (!channel) return;
  if (channel->windowThread) {
    // Also ends a mark dialog or message box that is open: their loops pass the quit on.
    PostThreadMessageA(channel->windowThreadId, WM_QUIT, 0, 0);
    WaitForSingleObject(channel->windowThread, INFINITE);
    CloseHandle(channel->windowThread);
  }
  if (channel->readyEvent) CloseHandle(channel->readyEvent);
  if (channel->traceFile != INVALID_HANDLE_VALUE) CloseHandle(channel->traceFile);
  MemFree(&channel);
}

bool BubbleNextLine(const char** cursor, char* line) {
  const char* next = *cursor;
  if (!next) return false;
  int length = 0;
  for (;; ++next) {
    char c = *next;
    if (c == '\0') {
      *cursor = nullptr;
      break;
    }
    if (c == '\n') {
      *cursor = next + 1;
      break;
    }
    if (c == '\t') {
      for (int i = 0; i < kBubbleTabSpaces && length < kBubbleLineSize - 1; ++i) line[length++] = ' ';
    } else if (length < kBubbleLineSize - 1) {
      line[length++] = c;
    }
  }
  line[length] = '\0';
  return true;
}

int BubbleTopIndex(int index, int topIndex, int visibleLines) {
  if (visibleLines < 1) visibleLines = 1;
  if (topIndex + visibleLines - 1 < index - 1) return -1;
  int newTop = index - (visibleLines - 1);
  return newTop > 0 ? newTop : 0;
}
